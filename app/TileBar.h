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
    // The determinant and trace of the square at `p`, or false between and
    // beyond the squares.
    static bool SquareAt(QPoint p, int& determinant, int& trace);
    // What a square's tile is, for its tooltip.
    static QString SquareText(int determinant, int trace);

signals:
    // A square clicked.
    void chosen(int determinant, int trace);

protected:
    void paintEvent(QPaintEvent* e) override;
    bool event(QEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// Shown while a tile set is the active document and hidden otherwise,
// unless the user has chosen: a show or hide that goes against that rule is
// kept under "Settings/TileBarShown" and holds from then on, in later runs
// too; one that agrees with it lets the rule hold again.
class CTileBar : public CSizingControlBar {
    Q_OBJECT
public:
    explicit CTileBar(QWidget* parent = nullptr);
    CTileChart* Chart() const { return static_cast<CTileChart*>(widget()); }

    // Shows or hides the bar for the active document.
    void Follow(bool tileSetActive);
    // The user shows or hides the bar.
    void Choose(bool shown, bool tileSetActive);
    // Whether the user's choice holds, and which.
    static bool UserChose(bool* shown = nullptr);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    bool m_tileSetActive = false;
};
