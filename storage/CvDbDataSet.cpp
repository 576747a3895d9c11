#include "storage/CvDbDataSet.h"

#include <algorithm>
#include <cstdio>

#include "storage/CvDatabase2.h"

CvDbDataSet::CvDbDataSet(CvDatabase2* database) : m_database(database) {}

CvDbDataSet::~CvDbDataSet() = default;

void CvDbDataSet::Open() {
    if (m_database) {
        m_cursor = m_database->OpenCursor(m_query, m_autoRefresh);
        m_cursor->SetPaused(!m_following);
    }
    Notify();
}

void CvDbDataSet::SetFollowing(bool follow) {
    m_following = follow;
    if (!m_cursor) {
        return;
    }
    m_cursor->SetPaused(!follow);
    if (follow && m_cursor->IsStale()) {
        m_cursor->Open();
        Notify();
    }
}

void CvDbDataSet::Freshen() {
    if (m_cursor && m_cursor->IsStale()) {
        m_cursor->Open();
    }
}

void CvDbDataSet::Close() {
    m_cursor.reset();
}

bool CvDbDataSet::SetCurrentRow(int row) {
    m_currentRow = row;
    return true;
}

int CvDbDataSet::GetLastIndex() {
    Freshen();
    return m_cursor ? m_cursor->RowCount() - 1 : -1;
}

CvDbValue CvDbDataSet::ReadValue(int row, const std::u16string& column) {
    Freshen();
    if (!m_cursor || !m_cursor->Move(row, CvDbSrvAbstractCursor2::FromFirst)) {
        return {};
    }
    CvDbRecord record;
    if (!m_cursor->GetRecord(record)) {
        return {};
    }
    const auto found = record.find(column);
    return found == record.end() ? CvDbValue() : found->second;
}

void CvDbDataSet::WriteValue(int, const std::u16string&, const CvDbValue&) {
    std::fputs("CvDbDataSet::WriteValue\n", stderr);
}

void CvDbDataSet::InsertRecord(const CvDbRecord&) {
    std::fputs("CvDbDataSet::InsertRecord\n", stderr);
}

void CvDbDataSet::DeleteRecord(int row) {
    Freshen();
    if (m_cursor && m_database && m_cursor->Move(row, CvDbSrvAbstractCursor2::FromFirst)) {
        CvDbRecord record;
        if (m_cursor->GetRecord(record)) {
            m_database->Delete(m_updateTable, m_keyCondition, record);
        }
    }
    Notify();
}

int CvDbDataSet::Find(const std::u16string& column, const CvDbValue& value) {
    if (!m_cursor) {
        return -1;
    }
    Freshen();
    const auto& names = m_cursor->Query().columnNames;
    const auto found = std::find(names.begin(), names.end(), column);
    return found == names.end()
               ? -1
               : m_cursor->FindRow(static_cast<size_t>(found - names.begin()), value);
}
