#include "storage/CvDbSrvMemCursor2.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "storage/CvDatabase2.h"

CvDbSrvMemCursor2::CvDbSrvMemCursor2(CvDatabase2* database, CvDbQuery query, bool autoRefresh)
    : m_database(database), m_query(std::move(query)), m_autoRefresh(autoRefresh) {}

CvDbSrvMemCursor2::~CvDbSrvMemCursor2() {
    if (m_database) {
        m_database->UnregisterCursor(this);
    }
}

void CvDbSrvMemCursor2::Open() {
    if (m_database) {
        m_database->RunQuery(m_query, m_rows);
    } else {
        m_rows.clear();
    }
}

bool CvDbSrvMemCursor2::Move(int offset, int origin) {
    const int count = RowCount();
    if (origin == FromFirst || origin == FromLast) {
        if (count == 0) {
            return false;
        }
        m_position = origin == FromFirst ? 0 : count - 1;
    } else if (m_position < 0 || m_position >= count) {
        return false;
    }
    // The single steps, counted at once: forward stops on the last row,
    // backward stops on row 0 (and cannot start beyond the end).
    if (offset >= 1) {
        const int possible = std::max(0, count - 1 - m_position);
        const int taken = std::min(offset, possible);
        m_position += taken;
        return taken == offset;
    }
    const int64_t steps = -static_cast<int64_t>(offset);
    if (steps == 0) {
        return true;
    }
    const int64_t taken = std::min<int64_t>(steps, m_position);
    m_position -= static_cast<int>(taken);
    return taken == steps;
}

bool CvDbSrvMemCursor2::GetRecord(CvDbRecord& record) {
    record.clear();
    if (m_position < 0 || m_position >= RowCount()) {
        return false;
    }
    const Row& row = m_rows[static_cast<size_t>(m_position)];
    const size_t n = std::min(m_query.columnNames.size(), row.size());
    for (size_t i = 0; i < n; ++i) {
        record[m_query.columnNames[i]] = row[i];
    }
    return true;
}
