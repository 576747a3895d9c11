#pragma once

#include <string>

#include "app/CvObservationSubject.h"
#include "storage/CvDbRecord.h"
#include "storage/CvDbValue.h"

// Rows and named columns that windows and grids read through. Observers are
// notified after the content changed.
class CvDataSet : public CvObservationSubject {
public:
    // Stores the current row index; returns true.
    virtual bool SetCurrentRow(int row) = 0;
    // Row count - 1; -1 when there are no rows.
    virtual int GetLastIndex() = 0;
    virtual int GetCurrentRow() = 0;
    // Null when the row or the column does not exist.
    virtual CvDbValue ReadValue(int row, const std::u16string& column) = 0;
    virtual void WriteValue(int row, const std::u16string& column, const CvDbValue& value) = 0;
    virtual void InsertRecord(const CvDbRecord& record) = 0;
    virtual void DeleteRecord(int row) = 0;
    virtual void Reserved() {}

    // Inserts an empty record, then notifies.
    void AppendRow();
    void WriteCurrentValue(const std::u16string& column, const CvDbValue& value);
    // Deletes the current row, then notifies.
    void DeleteCurrentRow();
};
