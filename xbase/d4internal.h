// Helpers shared by the files of the data layer.
#pragma once

#include "d4data.h"

#include <cstring>

inline void blankRecord(DATA4* d) {
    std::memset(d->record, ' ', d->dataFile->recWidth);
}

// A blank record with empty memo fields, as a new record starts.
inline void blankRecordAndMemos(DATA4* d) {
    blankRecord(d);
    for (int i = 0; i < d->nFieldsMemo; i++) {
        d->fieldsMemo[i].len = 0;
        d->fieldsMemo[i].status = 0;
        d->fieldsMemo[i].isChanged = 0;
    }
}
