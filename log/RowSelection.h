#pragma once

#include <utility>
#include <vector>

// The rows selected in the log, held as ranges, so that selecting a million rows costs one
// range and no step per row. Rows are counted from 0.
class RowSelection {
public:
    using Range = std::pair<int, int>; // first and last row, both selected

    bool isEmpty() const { return m_ranges.empty(); }
    bool contains(int row) const;
    // How many rows are selected.
    int count() const;
    // The selected ranges in the order of the rows, apart and not touching.
    const std::vector<Range>& ranges() const { return m_ranges; }

    void clear() { m_ranges.clear(); }
    // Selects the rows from `first` to `last` (in either order) and no others.
    void selectOnly(int first, int last);
    // Selects the row if it was not selected, and unselects it if it was.
    void toggle(int row);

private:
    std::vector<Range> m_ranges;
};
