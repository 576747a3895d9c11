#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/CvCriticalSection.h"
#include "storage/CvDbFollower.h"
#include "storage/CvDbQuery.h"
#include "storage/CvDbRecord.h"
#include "storage/CvDbScriptEntry.h"
#include "storage/CvDbSrvMemCursor2.h"

struct sqlite3;
struct sqlite3_stmt;

// One SQLite database file. Statements are built here from a table, a record
// and a condition; every value travels as a named parameter (":name"), never
// inside the SQL text. After every write that took effect the cursors opened
// with auto-refresh and the other followers are told (CvDbFollower): rows
// inserted are placed by a lookup each, anything else runs the queries again.
//
// Failures: nothing throws. A failing statement changes nothing (a failing
// query yields no rows) and writes one line with SQLite's message to standard
// error, so that a lost row never goes unnoticed.
class CvDatabase2 {
public:
    CvDatabase2() = default;
    CvDatabase2(const CvDatabase2&) = delete;
    CvDatabase2& operator=(const CvDatabase2&) = delete;
    // Closes the connection; cursors still alive keep their rows but are
    // detached.
    virtual ~CvDatabase2();

    // Set before Open.
    void SetPath(const std::u16string& path) { m_path = path; }
    void SetPath(const std::string& utf8Path);
    const std::u16string& GetPath() const { return m_path; }
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool IsReadOnly() const { return m_readOnly; }
    // How long a statement waits for another connection's lock on the file
    // before it fails with "database is locked" (kDefaultBusyTimeoutMs unless
    // set). Takes effect at once on an open connection. The wait looks at the
    // lock every millisecond or two, so it ends soon after the lock goes.
    static constexpr int kDefaultBusyTimeoutMs = 2000;
    void SetBusyTimeout(int ms);
    // Set before Open, on a connection used by one thread: a running
    // statement, or its wait for a lock, ends as soon as `interrupted`
    // returns true (it is asked every few thousand steps). An interrupted
    // statement fails without a report.
    void SetInterrupt(std::function<bool()> interrupted);

    // Opens the file (read-write mode creates a missing one) and installs the
    // locale's NOCASE collation and upper(). Without success the handle stays
    // null and every statement fails; returns whether the file is open.
    bool Open();
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    // After a failed Open: SQLite's reason and the system's, e.g. "unable to
    // open database file (Permission denied)"; "" after a successful one.
    const std::string& OpenError() const { return m_openError; }

    // Runs each statement once, in order. A statement that fails is skipped;
    // the expected failures of a repeated script ("already exists",
    // "duplicate column name") are not reported.
    void ExecuteScript(const CvDbScriptEntry* entries, size_t count);
    void ExecuteScript(const std::vector<CvDbScriptEntry>& entries) {
        ExecuteScript(entries.data(), entries.size());
    }

    // INSERT INTO table(a, b) VALUES (:a, :b), in the record's order.
    bool Insert(const std::u16string& table, const CvDbRecord& record);
    // UPDATE table SET a=:a, b=:b [WHERE where]; the where parameters are bound
    // after the record, so they win for a name present in both.
    bool Update(const std::u16string& table, const CvDbRecord& record, const std::u16string& where,
                const CvDbRecord& whereParameters);
    // DELETE FROM table [WHERE where].
    bool Delete(const std::u16string& table, const std::u16string& where,
                const CvDbRecord& whereParameters);

    // Runs one writing statement of the caller's own text, its parameters
    // bound by name.
    bool Execute(const std::u16string& sql, const CvDbRecord& parameters = {});

    // Runs `query` in a new cursor registered with this connection (refreshed
    // after every write when `autoRefresh` is set). The cursor must not outlive
    // the connection's use; destroying it unregisters it.
    std::unique_ptr<CvDbSrvMemCursor2> OpenCursor(const CvDbQuery& query, bool autoRefresh);

    // Follows the writes made through this connection until removed (not
    // owned). Followers are told on the thread that wrote.
    void AddFollower(CvDbFollower* follower);
    void RemoveFollower(CvDbFollower* follower);

    // Groups the writes until the matching CommitBatch into one transaction:
    // one commit to disk, and the followers told once for all of its rows.
    // Batches nest; only the outermost one commits. A failed commit rolls
    // the batch back and is reported; CommitBatch then returns false and the
    // followers are not told.
    void BeginBatch();
    bool CommitBatch();

    // Runs a query once and replaces `rows`. Integer columns read as Integer,
    // text as wide text, everything else (float, blob, NULL) as Null. A query
    // with a producer runs the producer instead.
    bool RunQuery(const CvDbQuery& query, std::vector<CvDbSrvMemCursor2::Row>& rows);
    // Runs the query's statement (never its producer) and hands each row to
    // `each` as it is read, until `each` returns false; a query stopped that
    // way has succeeded.
    bool ForEachRow(const CvDbQuery& query,
                    const std::function<bool(const CvDbSrvMemCursor2::Row&)>& each);

    // The SQL text a query runs.
    static std::u16string QueryText(const CvDbQuery& query);

    // Virtual machine steps of the statements run so far: the work done,
    // whatever the machine's speed (benches and tests compare it).
    uint64_t Steps() const { return m_steps.load(); }

private:
    friend class CvDbSrvMemCursor2;

    void UnregisterCursor(CvDbSrvMemCursor2* cursor);
    // Prepares, binds, steps once and finalises, then tells the followers.
    // `insertedInto` names the table of an INSERT, so that they can place its
    // row instead of running their queries again.
    bool ExecuteWrite(const std::u16string& sql, const CvDbRecord& record,
                      const CvDbRecord& whereParameters, const std::u16string& insertedInto = {});
    sqlite3_stmt* Prepare(const std::u16string& sql);
    void Report(const std::u16string& sql, const char* message) const;
    bool ExecuteSql(const char* sql);
    // Finalises a statement, counting its steps.
    void Finish(sqlite3_stmt* statement);
    // A write took effect: told now, or at the commit of the batch it is in.
    void Written(const std::u16string& insertedInto, int64_t rowid);
    void TellInserted(const std::u16string& table, const std::vector<int64_t>& rowids);
    void TellChanged();
    bool InBatch() const { return m_batchDepth > 0 && !m_batchFailed; }
    static int WaitForLock(void* self, int attempts);
    static int CheckInterrupt(void* self);
    // Whether a statement that ended with `rc` was interrupted on purpose
    // (it is then not reported).
    bool Interrupted(int rc) const;

    CvCriticalSection m_lock;
    std::vector<CvDbSrvMemCursor2*> m_cursors;
    sqlite3* m_db = nullptr;
    std::u16string m_path;
    std::string m_openError;
    bool m_readOnly = false;
    std::atomic<int> m_busyTimeoutMs{kDefaultBusyTimeoutMs};
    std::atomic<uint64_t> m_steps{0};
    std::chrono::steady_clock::time_point m_waitingSince;
    std::function<bool()> m_interrupted;
    std::vector<CvDbFollower*> m_followers;
    int m_batchDepth = 0;
    bool m_batchFailed = false;
    // What the open batch wrote: inserted rows, in order, or anything else.
    std::vector<std::pair<std::u16string, int64_t>> m_batchInserts;
    bool m_batchChanged = false;
};
