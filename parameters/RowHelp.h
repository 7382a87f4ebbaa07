#pragma once
// What each parameter row does and which values are worth trying: the
// Properties bar shows it as the row's tooltip and, for the selected row,
// at the bar's foot. One table for every kind, so the texts stay together.

#include <string>
#include <string_view>

struct RowHelp {
    std::string line;  // one sentence: what the row does
    std::string range; // useful values; may be empty
    bool Empty() const { return line.empty(); }
    // The tooltip: the sentence, then the range on its own line.
    std::string ToolTip() const { return range.empty() ? line : line + "\n" + range; }
};

// `kind` is CFractal::m_kind; `group` is the label of the row's group header
// ("" at the top level); `label` the row's own label. Numbered labels ("Map 3",
// "Light 2", "x7") are looked up by their stem. Unknown rows give an empty help.
RowHelp FindRowHelp(int kind, std::string_view group, std::string_view label);
