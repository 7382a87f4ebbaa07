#pragma once
// "Choose a Tile!": a fixed chart of the symmetry class of every
// determinant and trace, to help pick a tile set's "Determinant" and
// "Track".

#include "parameters/SizingControlBar.h"

class CTileChart : public QWidget {
    Q_OBJECT
public:
    explicit CTileChart(QWidget* parent = nullptr);
    QSize sizeHint() const override { return QSize(402, 212); }

protected:
    void paintEvent(QPaintEvent* e) override;
};

class CTileBar : public CSizingControlBar {
    Q_OBJECT
public:
    explicit CTileBar(QWidget* parent = nullptr);
    CTileChart* Chart() const { return static_cast<CTileChart*>(widget()); }
};
