#include "storage/CvDataSet.h"

void CvDataSet::AppendRow() {
    InsertRecord({});
    Notify();
}

void CvDataSet::WriteCurrentValue(const std::u16string& column, const CvDbValue& value) {
    WriteValue(GetCurrentRow(), column, value);
}

void CvDataSet::DeleteCurrentRow() {
    DeleteRecord(GetCurrentRow());
    Notify();
}
