#include "dialog/interval_tables.h"

const IntervalEntry IntervalTable[] = {
    {"None", kNoneSeconds}, {"1", 60},    {"5", 300}, {"10", 600}, {"15", 900},
    {"30", 1800}, {"60", 3600}, {"", 0},
};

const IntervalEntry HourCountTable[] = {
    {"None", kNoneSeconds}, {"30", 1800}, {"60", 3600}, {"", 0},
};

int IntervalEntryCount(const IntervalEntry* table) {
    int count = 0;
    while (count < kMaxIntervalEntries && table[count].Label[0] != '\0') ++count;
    return count;
}

const IntervalEntry* IntervalEntryAt(const IntervalEntry* table, LRESULT index) {
    if (index < 0 || index >= IntervalEntryCount(table)) return nullptr;
    return &table[index];
}

void FillIntervalList(HWND list, const IntervalEntry* table, LONG seconds) {
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    const int count = IntervalEntryCount(table);
    for (int row = 0; row < count; ++row) {
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(table[row].Label));
    }
    for (int row = 0; row < count; ++row) {
        if (table[row].Seconds == seconds) {
            SendMessageA(list, CB_SETCURSEL, row, 0);
            return;
        }
    }
}
