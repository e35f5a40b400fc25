#pragma once
// The interval choices of the settings dialog's list, one table per way of sounding, and
// filling the list from a table. A list index is a table row: the list does not sort.
#include <windows.h>

#include "settings/interval_none.h"

constexpr int kIntervalLabelBytes = 16;
constexpr int kMaxIntervalEntries = 100;  // no table is read further than this

struct IntervalEntry {
    char Label[kIntervalLabelBytes];  // minutes, or "None"; an empty label ends the table
    LONG Seconds;                     // kNoneSeconds for "None"
};

// "None" as the list's signed seconds.
constexpr LONG kNoneSeconds = static_cast<LONG>(kIntervalNone);

// Once per interval: None, 1, 5, 10, 15, 30, 60 minutes.
extern const IntervalEntry IntervalTable[];
// Hour count: None, 30, 60 minutes.
extern const IntervalEntry HourCountTable[];

// Number of rows before the empty label, at most kMaxIntervalEntries.
int IntervalEntryCount(const IntervalEntry* table);

// The row at a list index, or null when the index is no row of the table (the list's
// CB_ERR when nothing is selected, say).
const IntervalEntry* IntervalEntryAt(const IntervalEntry* table, LRESULT index);

// Refills the combo box `list` with the table's labels in order and selects the first row
// whose seconds equal `seconds`; with no such row the list is left without a selection.
void FillIntervalList(HWND list, const IntervalEntry* table, LONG seconds);
