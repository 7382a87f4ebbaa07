#include "app/TileBar.h"

#include <QPainter>

#include "model/TileNormalForm.h"

CTileChart::CTileChart(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(33, 32);
    setToolTip("Determinant grows upwards (negative left, positive right); trace grows outwards");
}

void CTileChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    for (int i = 0; i < kTileChartColumns; ++i)
        for (int k = 0; k < kTileChartRows; ++k) {
            int d = 0, t = 0;
            TileChartSquare(i, k, d, t);
            const uint32_t c = TileChartColour(d, t); // 0x00BBGGRR
            p.fillRect(QRect(1 + 10 * i, 201 - 10 * k, 8, 8), QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff));
        }
}

CTileBar::CTileBar(QWidget* parent) : CSizingControlBar(parent)
{
    Create("Choose a Tile!", parent, QSize(160, 80), true, 124);
    setWidget(new CTileChart);
    if (parent)
        setFont(parent->font());
}
