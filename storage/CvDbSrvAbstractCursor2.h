#pragma once

#include "storage/CvDbRecord.h"

// A result set read row by row.
class CvDbSrvAbstractCursor2 {
public:
    enum Origin : int { FromCurrent = 0, FromFirst = 1, FromLast = 2 };

    virtual ~CvDbSrvAbstractCursor2() = default;

    // Runs the query and replaces all rows; the position is kept as it was.
    virtual void Open() = 0;
    // Sets the position from `origin`, then takes |offset| single steps (forward
    // for offset >= 1). True only when every step was taken; the position stays
    // where the last successful step left it.
    virtual bool Move(int offset, int origin) = 0;
    // Clears `record`, then fills it from the current row; false without one.
    virtual bool GetRecord(CvDbRecord& record) = 0;
    // -1 before the first row.
    virtual int GetPosition() = 0;
    virtual bool IsBeforeFirst() = 0;
};
