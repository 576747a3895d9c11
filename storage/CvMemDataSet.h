#pragma once

#include <string>
#include <vector>

#include "storage/CvDataSet.h"
#include "storage/CvMemRows.h"

// A data set whose rows live in memory under fixed column names.
class CvMemDataSet : public CvDataSet {
public:
    explicit CvMemDataSet(std::vector<std::u16string> columns);

    bool SetCurrentRow(int row) override;
    int GetLastIndex() override { return m_rows.Count() - 1; }
    int GetCurrentRow() override { return m_currentRow; }
    CvDbValue ReadValue(int row, const std::u16string& column) override;
    // Rows or columns that do not exist are left alone.
    void WriteValue(int row, const std::u16string& column, const CvDbValue& value) override;
    // Appends a row (unknown columns ignored, missing ones Null) and makes it
    // the current row.
    void InsertRecord(const CvDbRecord& record) override;
    void DeleteRecord(int row) override;

protected:
    CvMemRows& Rows() { return m_rows; }

private:
    int m_currentRow = 0;
    CvMemRows m_rows;
};
