#include "storage/CvMemDataSet.h"

#include <utility>

CvMemDataSet::CvMemDataSet(std::vector<std::u16string> columns) : m_rows(std::move(columns)) {}

bool CvMemDataSet::SetCurrentRow(int row) {
    m_currentRow = row;
    return true;
}

CvDbValue CvMemDataSet::ReadValue(int row, const std::u16string& column) {
    return m_rows.Read(row, column);
}

void CvMemDataSet::WriteValue(int row, const std::u16string& column, const CvDbValue& value) {
    m_rows.Write(row, column, value);
}

void CvMemDataSet::InsertRecord(const CvDbRecord& record) {
    m_currentRow = m_rows.Append(record);
}

void CvMemDataSet::DeleteRecord(int row) {
    m_rows.Erase(row);
}
