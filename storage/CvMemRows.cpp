#include "storage/CvMemRows.h"

#include <utility>

CvMemRows::CvMemRows(std::vector<std::u16string> columns) : m_columns(std::move(columns)) {}

int CvMemRows::ColumnIndex(const std::u16string& column) const {
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i] == column) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

CvDbValue CvMemRows::Read(int row, const std::u16string& column) const {
    const int index = ColumnIndex(column);
    if (row < 0 || row >= Count() || index < 0) {
        return {};
    }
    return m_rows[static_cast<size_t>(row)][static_cast<size_t>(index)];
}

bool CvMemRows::Write(int row, const std::u16string& column, const CvDbValue& value) {
    const int index = ColumnIndex(column);
    if (row < 0 || row >= Count() || index < 0) {
        return false;
    }
    m_rows[static_cast<size_t>(row)][static_cast<size_t>(index)] = value;
    return true;
}

int CvMemRows::Append(const CvDbRecord& record) {
    std::vector<CvDbValue>& row = m_rows.emplace_back(m_columns.size());
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const auto found = record.find(m_columns[i]);
        if (found != record.end()) {
            row[i] = found->second;
        }
    }
    return Count() - 1;
}

bool CvMemRows::Erase(int row) {
    if (row < 0 || row >= Count()) {
        return false;
    }
    m_rows.erase(m_rows.begin() + row);
    return true;
}
