#include "storage/CvDbSrvMemCursor2.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "storage/CvDatabase2.h"
#include "storage/CvDbText.h"

CvDbSrvMemCursor2::CvDbSrvMemCursor2(CvDatabase2* database, CvDbQuery query, bool autoRefresh)
    : m_database(database), m_query(std::move(query)), m_autoRefresh(autoRefresh) {}

CvDbSrvMemCursor2::~CvDbSrvMemCursor2() {
    if (m_database) {
        m_database->UnregisterCursor(this);
    }
}

void CvDbSrvMemCursor2::Open() {
    m_stale = false;
    m_cache.clear();
    if (!m_database) {
        m_rows.clear();
        m_keys.clear();
        return;
    }
    if (!IsLazy()) {
        m_database->RunQuery(m_query, m_rows);
        return;
    }
    m_keys.clear();
    m_sortValues.clear();
    m_database->ForEachRow(m_query, [this](const Row& row) {
        if (!row.empty() && row[0].GetTag() == CvDbValue::Integer) {
            m_keys.push_back(row[0].AsInteger());
        }
        return true;
    });
}

namespace {

// The order of a lazy query: sort value descending (NULL last, as SQLite
// sorts it), then key descending. Integers come before texts, as in SQLite.
bool Precedes(const CvDbValue& sortA, int64_t keyA, const CvDbValue& sortB, int64_t keyB) {
    auto rank = [](const CvDbValue& v) {
        switch (v.GetTag()) {
            case CvDbValue::Null:
                return 0;
            case CvDbValue::Integer:
                return 1;
            default:
                return 2;
        }
    };
    if (rank(sortA) != rank(sortB)) {
        return rank(sortA) > rank(sortB);
    }
    if (sortA.GetTag() == CvDbValue::Integer && sortA.AsInteger() != sortB.AsInteger()) {
        return sortA.AsInteger() > sortB.AsInteger();
    }
    if (rank(sortA) == 2) {
        // SQLite's binary order is the order of the UTF-8 bytes.
        const std::string a = sortA.AsUtf8();
        const std::string b = sortB.AsUtf8();
        if (a != b) {
            return a > b;
        }
    }
    return keyA > keyB;
}

}  // namespace

bool CvDbSrvMemCursor2::LookUp(int64_t key, Row& row) {
    CvDbQuery lookup = m_query;
    lookup.rawSql = u"SELECT * FROM (" + CvDatabase2::QueryText(m_query) + u") WHERE " +
                    m_query.keyColumn + u" = :cursor_key";
    lookup.parameters[u"cursor_key"] = CvDbValue::FromInteger(key);
    row.clear();
    return m_database->ForEachRow(lookup, [&row](const Row& found) {
        row = found;
        return false;
    });
}

const CvDbValue& CvDbSrvMemCursor2::SortValueAt(size_t index) {
    const int64_t key = m_keys[index];
    auto found = m_sortValues.find(key);
    if (found == m_sortValues.end()) {
        Row row;
        LookUp(key, row);
        found = m_sortValues.emplace(key, row.size() > 1 ? row[1] : CvDbValue()).first;
    }
    return found->second;
}

void CvDbSrvMemCursor2::RowsInserted(const std::u16string& table,
                                     const std::vector<int64_t>& rowids) {
    if (!m_autoRefresh) {
        return;
    }
    if (m_paused) {
        m_stale = true;
        return;
    }
    if (!IsLazy() || table != m_query.keyTable || !m_database) {
        Open();
        return;
    }
    for (const int64_t rowid : rowids) {
        if (!Place(rowid)) {
            Open();
            return;
        }
    }
}

void CvDbSrvMemCursor2::RowsChanged() {
    if (!m_autoRefresh) {
        return;
    }
    if (m_paused) {
        m_stale = true;
        return;
    }
    Open();
}

bool CvDbSrvMemCursor2::Place(int64_t rowid) {
    Row inserted;
    if (!LookUp(rowid, inserted)) {
        return false;
    }
    if (inserted.empty()) {
        return true;  // not one of the query's rows
    }
    const CvDbValue sort = inserted.size() > 1 ? inserted[1] : CvDbValue();
    // A new row mostly comes first; the sort values of the rows it is
    // compared with are looked up on the way (a few per insert).
    size_t low = 0;
    size_t high = m_keys.size();
    if (high > 0 && !Precedes(SortValueAt(0), m_keys[0], sort, rowid)) {
        high = 0;
    }
    while (low < high) {
        const size_t middle = (low + high) / 2;
        if (Precedes(SortValueAt(middle), m_keys[middle], sort, rowid)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    m_keys.insert(m_keys.begin() + static_cast<std::ptrdiff_t>(low), rowid);
    m_sortValues.emplace(rowid, sort);
    return true;
}

int CvDbSrvMemCursor2::RowCount() const {
    return static_cast<int>(IsLazy() ? m_keys.size() : m_rows.size());
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
    const Row* row = RowAt(m_position);
    if (!row) {
        return false;
    }
    const size_t n = std::min(m_query.columnNames.size(), row->size());
    for (size_t i = 0; i < n; ++i) {
        record[m_query.columnNames[i]] = (*row)[i];
    }
    return true;
}

int CvDbSrvMemCursor2::FindRow(size_t column, const CvDbValue& value) {
    const bool byKey = IsLazy() && column < m_query.columnNames.size() &&
                       m_query.columnNames[column] == m_query.keyColumn;
    if (byKey) {
        if (value.GetTag() != CvDbValue::Integer) {
            return -1;
        }
        const auto found = std::find(m_keys.begin(), m_keys.end(), value.AsInteger());
        return found == m_keys.end() ? -1 : static_cast<int>(found - m_keys.begin());
    }
    for (int i = 0; i < RowCount(); ++i) {
        const Row* row = RowAt(i);
        if (row && column < row->size() && (*row)[column] == value) {
            return i;
        }
    }
    return -1;
}

const CvDbSrvMemCursor2::Row* CvDbSrvMemCursor2::RowAt(int index) {
    if (index < 0 || index >= RowCount()) {
        return nullptr;
    }
    if (!IsLazy()) {
        return &m_rows[static_cast<size_t>(index)];
    }
    const int64_t key = m_keys[static_cast<size_t>(index)];
    auto found = m_cache.find(key);
    if (found == m_cache.end()) {
        ReadBlock(index);
        found = m_cache.find(key);
    }
    return found == m_cache.end() ? nullptr : &found->second;
}

void CvDbSrvMemCursor2::ReadBlock(int index) {
    if (!m_database) {
        return;
    }
    if (m_cache.size() + kBlockRows > kCachedRows) {
        m_cache.clear();
    }
    // Mostly read downwards, so the block starts a little above the row.
    const int first = std::max(0, index - kBlockRows / 4);
    const int last = std::min(RowCount(), first + kBlockRows);
    std::string keys;
    for (int i = first; i < last; ++i) {
        if (m_cache.count(m_keys[static_cast<size_t>(i)]) == 0) {
            keys += (keys.empty() ? "" : ",") + std::to_string(m_keys[static_cast<size_t>(i)]);
        }
    }
    // The keys are integers of our own, so they can stand in the text.
    CvDbQuery block;
    block.rawSql = u"SELECT " + m_query.keyColumn;
    for (const std::u16string& column : m_query.selectList) {
        block.rawSql += u", " + column;
    }
    block.rawSql += u" FROM " + m_query.keyTable + u" WHERE " + m_query.keyColumn + u" IN (" +
                    CvDbText::ToWide(keys) + u")";
    m_database->ForEachRow(block, [this](const Row& row) {
        if (!row.empty() && row[0].GetTag() == CvDbValue::Integer) {
            m_cache[row[0].AsInteger()] = Row(row.begin() + 1, row.end());
        }
        return true;
    });
}
