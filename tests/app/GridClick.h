#pragma once
// Clicks a row's value cell in the real Properties bar, as a user would to
// start or commit an edit.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "parameters/ParametersBar.h"
#include "parameters/PropertyGrid.h"

inline void ClickValue(CParametersBar* bar, const QString& label)
{
    CPropertyGrid& grid = bar->Grid();
    grid.expandAll();
    QTreeWidgetItem* item = bar->FindItem(label);
    ASSERT_NE(item, nullptr) << label.toStdString();
    grid.scrollToItem(item);
    QApplication::processEvents();
    const QRect r = grid.visualItemRect(item);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(grid.GetColumnWidth(0) + 5, r.center().y()));
}
