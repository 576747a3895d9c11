#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "storage/CvDbFollower.h"
#include "storage/CvDbQuery.h"
#include "storage/CvDbSrvAbstractCursor2.h"
#include "storage/CvDbValue.h"

class CvDatabase2;

// A cursor that runs its query once per Open and holds the result in
// memory; no statement stays open between calls. Made by
// CvDatabase2::OpenCursor, registered with the connection until destroyed.
//
// A query with a key column holds only the keys; the rows are read when they
// are first asked for (a block of neighbours in one statement) and kept in a
// bounded cache until the next Open. Such a query yields (key, sort value)
// ordered by sort value, then key, both descending, and whether it holds a
// row depends on that row alone: a row inserted into the key table is then
// placed by one lookup instead of running the query again.
//
// A paused cursor keeps its rows and does no work for the writes it is told
// of; it only notes that its rows may be stale, so that its owner runs the
// query again when somebody looks at them.
class CvDbSrvMemCursor2 : public CvDbSrvAbstractCursor2, public CvDbFollower {
public:
    using Row = std::vector<CvDbValue>;
    // Rows read by one statement, and the most a lazy cursor keeps.
    static constexpr int kBlockRows = 128;
    static constexpr size_t kCachedRows = 4096;

    CvDbSrvMemCursor2(CvDatabase2* database, CvDbQuery query, bool autoRefresh);
    ~CvDbSrvMemCursor2() override;
    CvDbSrvMemCursor2(const CvDbSrvMemCursor2&) = delete;
    CvDbSrvMemCursor2& operator=(const CvDbSrvMemCursor2&) = delete;

    // Runs the query; the rows are then fresh.
    void Open() override;
    // After rows were inserted into `table`: a lazy cursor over that table
    // adds each row in its place when the query holds it; any other cursor
    // runs its query again, once. Nothing without auto-refresh; a paused
    // cursor only becomes stale.
    void RowsInserted(const std::u16string& table, const std::vector<int64_t>& rowids) override;
    // After any other write: runs the query again (a paused cursor only
    // becomes stale).
    void RowsChanged() override;
    void SetPaused(bool paused) { m_paused = paused; }
    bool IsStale() const { return m_stale; }
    bool Move(int offset, int origin) override;
    bool GetRecord(CvDbRecord& record) override;
    int GetPosition() override { return m_position; }
    bool IsBeforeFirst() override { return m_position < 0; }

    bool IsAutoRefresh() const { return m_autoRefresh; }
    const CvDbQuery& Query() const { return m_query; }
    int RowCount() const;
    // Index of the first row whose `column`-th value equals `value`; -1 when
    // none does.
    int FindRow(size_t column, const CvDbValue& value);

private:
    friend class CvDatabase2;

    bool IsLazy() const { return !m_query.keyColumn.empty(); }
    // Places one inserted row; false when it could not be looked up.
    bool Place(int64_t rowid);
    // The row at `index`; null when it is out of range or its record is gone.
    const Row* RowAt(int index);
    void ReadBlock(int index);
    // The query's row with `key` (empty when it holds none); false when the
    // lookup failed.
    bool LookUp(int64_t key, Row& row);
    const CvDbValue& SortValueAt(size_t index);

    // Null once the connection is gone; the cursor then keeps its last rows.
    CvDatabase2* m_database;
    int m_position = -1;
    CvDbQuery m_query;
    bool m_autoRefresh;
    bool m_paused = false;
    bool m_stale = false;
    std::vector<Row> m_rows;
    std::vector<int64_t> m_keys;
    // Sort values of keys looked up to place inserted rows, until the next Open.
    std::unordered_map<int64_t, CvDbValue> m_sortValues;
    std::unordered_map<int64_t, Row> m_cache;
};
