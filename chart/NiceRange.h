#pragma once

// A value axis' range widened to round values: its ends and every tick lie on a multiple of a
// step of the form 1, 2 or 5 times a power of ten. The same data gives the same range, so the
// axis changes only when a reading leaves it.
struct NiceRange {
    double min = 0;
    double max = 0;
    int ticks = 0;
};

// The nice range around [lowest, highest] (lowest < highest, both finite) with about `ticks`
// ticks; the range itself where no round values lie beyond it.
NiceRange niceRange(double lowest, double highest, int ticks = 5);
