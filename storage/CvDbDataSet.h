#pragma once

#include <memory>
#include <string>

#include "storage/CvDataSet2.h"
#include "storage/CvDbQuery.h"
#include "storage/CvDbSrvMemCursor2.h"

class CvDatabase2;

// A data set over a query on a database connection. Open runs the query in a
// cursor registered with the connection; with auto-refresh (the default) the
// cursor follows every write made through that connection. New parameters
// take effect by Close and Open. Rows are read-only except for deletion, which
// goes to the update table under the key condition.
//
// A data set that nobody looks at can stop following (SetFollowing(false)):
// writes then only mark its rows stale, and it runs its query again when it
// is next read, or at once when it follows again.
class CvDbDataSet : public CvDataSet2 {
public:
    explicit CvDbDataSet(CvDatabase2* database = nullptr);
    ~CvDbDataSet() override;

    void SetDatabase(CvDatabase2* database) { m_database = database; }
    CvDbQuery& Query() { return m_query; }
    const CvDbQuery& Query() const { return m_query; }
    void SetUpdateTable(std::u16string table) { m_updateTable = std::move(table); }
    // For example "rid =:rid": the deleted row's record supplies the values.
    void SetKeyCondition(std::u16string condition) { m_keyCondition = std::move(condition); }
    void SetAutoRefresh(bool autoRefresh) { m_autoRefresh = autoRefresh; }
    // Following (the default) places or re-reads the rows at every write.
    // Turning it on runs the query when the rows are stale, and then tells
    // the observers.
    void SetFollowing(bool follow);
    bool IsFollowing() const { return m_following; }

    // Opens a cursor with the query (nothing without a connection), then
    // notifies the observers.
    void Open();
    void Close();
    bool IsOpen() const { return m_cursor != nullptr; }

    bool SetCurrentRow(int row) override;
    int GetLastIndex() override;
    int GetCurrentRow() override { return m_currentRow; }
    CvDbValue ReadValue(int row, const std::u16string& column) override;
    // Not supported: reports and changes nothing.
    void WriteValue(int row, const std::u16string& column, const CvDbValue& value) override;
    // Not supported: reports and changes nothing.
    void InsertRecord(const CvDbRecord& record) override;
    // Deletes the row's record from the update table, then notifies.
    void DeleteRecord(int row) override;
    int Find(const std::u16string& column, const CvDbValue& value) override;

private:
    // Runs the query again when writes made the rows stale.
    void Freshen();

    int m_currentRow = 0;
    CvDatabase2* m_database;
    std::unique_ptr<CvDbSrvMemCursor2> m_cursor;
    CvDbQuery m_query;
    std::u16string m_updateTable;
    std::u16string m_keyCondition;
    bool m_autoRefresh = true;
    bool m_following = true;
};
