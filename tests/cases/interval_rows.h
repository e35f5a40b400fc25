#pragma once
// One table of the intervals the settings dialog offers, in list order, as the tests expect
// them: the label, the seconds stored, and how many minutes of a day sound. The native
// count over a day and the dialog's store read these rows, so a new interval is one row
// here (and one in dialog/interval_tables.cpp). No Windows here.
#include <cstdint>

struct IntervalRow {
    const char* Label;
    std::uint32_t Seconds;  // 0xFFFFFFFF: "None"
    int SignalsPerDay;
};

// Once per interval.
inline constexpr IntervalRow kOncePerIntervalRows[] = {
    {"None", 0xFFFFFFFFu, 0}, {"1", 60, 1440}, {"5", 300, 288}, {"10", 600, 144},
    {"15", 900, 96},          {"30", 1800, 48}, {"60", 3600, 24},
};
// The hour count.
inline constexpr IntervalRow kHourCountRows[] = {
    {"None", 0xFFFFFFFFu, 0}, {"30", 1800, 48}, {"60", 3600, 24},
};
