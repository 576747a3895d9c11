#pragma once

#include <string>
#include <vector>

#include "storage/CvDbRecord.h"
#include "storage/CvDbValue.h"

// Rows held in memory under a fixed list of column names; the storage of the
// in-memory data sets.
class CvMemRows {
public:
    explicit CvMemRows(std::vector<std::u16string> columns);

    int Count() const { return static_cast<int>(m_rows.size()); }
    // Null when the row or the column does not exist.
    CvDbValue Read(int row, const std::u16string& column) const;
    // False (nothing changed) when the row or the column does not exist.
    bool Write(int row, const std::u16string& column, const CvDbValue& value);
    // Appends a row from the record's known columns (the others Null);
    // returns its index.
    int Append(const CvDbRecord& record);
    bool Erase(int row);
    void Clear() { m_rows.clear(); }

private:
    int ColumnIndex(const std::u16string& column) const;

    std::vector<std::u16string> m_columns;
    std::vector<std::vector<CvDbValue>> m_rows;
};
