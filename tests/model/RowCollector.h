#pragma once
#include <vector>

#include "rows/PropertyList.h"

// Keeps every row a fractal emits, for tests.
class RowCollector : public PropertyList {
public:
    int InsertRow(PropertyItem& row) override
    {
        rows.push_back(row);
        return int(rows.size());
    }
    std::vector<PropertyItem> rows;
};
