#include "app/TileBar.h"

#include <QCloseEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QToolTip>

#include <cstdlib>

#include "model/tile/TileNormalForm.h"

CTileChart::CTileChart(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(33, 32);
    setToolTip("Determinant grows upwards (negative left, positive right); trace grows outwards.\n"
               "Click a square to build its tile");
}

void CTileChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    for (int i = 0; i < kTileChartColumns; ++i)
        for (int k = 0; k < kTileChartRows; ++k) {
            int d = 0, t = 0;
            TileChartSquare(i, k, d, t);
            const uint32_t c = TileChartColor(d, t); // 0x00BBGGRR
            p.fillRect(QRect(1 + 10 * i, 201 - 10 * k, 8, 8), QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff));
        }
}

bool CTileChart::SquareAt(QPoint p, int& determinant, int& trace)
{
    // Squares of 8 pixels on a pitch of 10, column 0 at x = 1, row 0 at
    // y = 201 and rows growing upwards; a click in the gap below a square
    // counts for it.
    const int column = (p.x() - 1) / 10, row = (210 - p.y()) / 10;
    if (p.x() < 1 || p.y() > 210 || column >= kTileChartColumns || row >= kTileChartRows || (p.x() - 1) % 10 >= 8)
        return false;
    TileChartSquare(column, row, determinant, trace);
    return true;
}

QString CTileChart::SquareText(int determinant, int trace)
{
    const int code = NormalForm(determinant, trace).code;
    QString text = QString("Determinant %1, trace %2: ").arg(determinant).arg(trace);
    if (code == 0)
        return text + "no tile";
    text += QString("a tile with rotations of order %1").arg(std::abs(code));
    return text + (code < 0 ? " and a reflection" : "");
}

bool CTileChart::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(e);
        int d = 0, t = 0;
        if (SquareAt(help->pos(), d, t))
            QToolTip::showText(help->globalPos(), SquareText(d, t) + "\nClick to build it", this);
        else
            QToolTip::showText(help->globalPos(), toolTip(), this);
        return true;
    }
    return QWidget::event(e);
}

void CTileChart::mouseReleaseEvent(QMouseEvent* e)
{
    int d = 0, t = 0;
    if (e->button() == Qt::LeftButton && SquareAt(e->position().toPoint(), d, t))
        emit chosen(d, t);
    QWidget::mouseReleaseEvent(e);
}

CTileBar::CTileBar(QWidget* parent) : CSizingControlBar(parent)
{
    // Until the user sizes it, the bar shows the whole chart: a chart cut
    // off at the old 160 x 80 hid most of the determinants.
    auto* chart = new CTileChart;
    Create("Choose a Tile!", parent, chart->sizeHint() + QSize(4, 4), true, 124);
    setWidget(chart);
    if (parent)
        setFont(parent->font());
}

namespace {
const char* const kChoiceKey = "Settings/TileBarShown";
}

bool CTileBar::UserChose(bool* shown)
{
    const QVariant v = QSettings().value(kChoiceKey);
    if (!v.isValid())
        return false;
    if (shown)
        *shown = v.toBool();
    return true;
}

void CTileBar::Follow(bool tileSetActive)
{
    m_tileSetActive = tileSetActive;
    bool shown = tileSetActive;
    UserChose(&shown);
    // Hidden, not visible: a bar of a main window not yet shown is not
    // visible either.
    if (isHidden() == shown)
        setVisible(shown);
}

void CTileBar::Choose(bool shown, bool tileSetActive)
{
    QSettings settings;
    if (shown == tileSetActive)
        settings.remove(kChoiceKey);
    else
        settings.setValue(kChoiceKey, shown);
    Follow(tileSetActive);
}

void CTileBar::closeEvent(QCloseEvent* e)
{
    // The bar's own close button, or the window manager's on a floating bar.
    CSizingControlBar::closeEvent(e);
    if (e->isAccepted())
        Choose(false, m_tileSetActive);
}
