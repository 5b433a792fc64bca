#include "RowSelection.h"

#include <algorithm>

namespace {

// The first range that ends at or after `row`.
template <typename Ranges> auto rangeFrom(Ranges& ranges, int row)
{
    return std::lower_bound(
        ranges.begin(), ranges.end(), row,
        [](const RowSelection::Range& range, int r) { return range.second < r; });
}

} // namespace

bool RowSelection::contains(int row) const
{
    const auto range = rangeFrom(m_ranges, row);
    return range != m_ranges.end() && range->first <= row;
}

int RowSelection::count() const
{
    int rows = 0;
    for (const Range& range : m_ranges)
        rows += range.second - range.first + 1;
    return rows;
}

void RowSelection::selectOnly(int first, int last)
{
    m_ranges.assign(1, {std::min(first, last), std::max(first, last)});
}

void RowSelection::toggle(int row)
{
    auto range = rangeFrom(m_ranges, row);
    if (range != m_ranges.end() && range->first <= row) {
        // Unselected: the range loses the row, or is cut in two around it.
        if (range->first == range->second) {
            m_ranges.erase(range);
        } else if (row == range->first) {
            ++range->first;
        } else if (row == range->second) {
            --range->second;
        } else {
            const Range after{row + 1, range->second};
            range->second = row - 1;
            m_ranges.insert(range + 1, after);
        }
        return;
    }
    // Selected: joined to the ranges it touches.
    range = m_ranges.insert(range, {row, row});
    if (range + 1 != m_ranges.end() && (range + 1)->first == row + 1) {
        range->second = (range + 1)->second;
        m_ranges.erase(range + 1);
    }
    if (range != m_ranges.begin() && (range - 1)->second == row - 1) {
        (range - 1)->second = range->second;
        m_ranges.erase(range);
    }
}
