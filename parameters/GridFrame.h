#pragma once
// The frame that holds the property grid with its header on top, chooses
// the header's font and height, refits the columns whenever it is resized,
// and commits an open edit whenever its geometry changes. Columns are always
// fitted to the width, so there is no horizontal scrolling.

#include <QFrame>

#include "parameters/PropertyGrid.h"

class CGridFrame : public QFrame {
    Q_OBJECT
public:
    explicit CGridFrame(QWidget* parent = nullptr);

    // Creates the header's font and height and lays the grid out.
    void Initialise();
    // After a row was added or a column resized.
    void UpdateExtent();
    CPropertyGrid& Grid() { return *m_grid; }

protected:
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    CPropertyGrid* m_grid;
    bool m_initialised = false;
};
