#include "storage/CvDatabase2.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include <sqlite3.h>

#include "platform/CvTextCodec.h"
#include "storage/CvDbText.h"
#include "storage/CvDbTextFunctions.h"

namespace {

std::u16string Join(const std::vector<std::u16string>& parts, const std::u16string& prefix) {
    std::u16string result;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            result += u", ";
        }
        result += prefix + parts[i];
    }
    return result;
}

std::vector<std::u16string> ColumnNames(const CvDbRecord& record) {
    std::vector<std::u16string> names;
    names.reserve(record.size());
    for (const auto& entry : record) {
        names.push_back(entry.first);
    }
    return names;
}

void BindText(sqlite3_stmt* statement, int index, const std::string& utf8) {
    sqlite3_bind_text64(statement, index, utf8.data(), utf8.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Entries without a matching ":name" in the statement are skipped; Null
// binds nothing, so the parameter stays NULL.
void BindRecord(sqlite3_stmt* statement, const CvDbRecord& record) {
    for (const auto& [name, value] : record) {
        const std::string parameter = ":" + CvDbText::ToUtf8(name);
        const int index = sqlite3_bind_parameter_index(statement, parameter.c_str());
        if (index <= 0) {
            continue;
        }
        switch (value.GetTag()) {
            case CvDbValue::Integer:
                sqlite3_bind_int64(statement, index, value.AsInteger());
                break;
            case CvDbValue::AnsiText:
                BindText(statement, index, value.AsAnsi());
                break;
            case CvDbValue::WideText:
                BindText(statement, index, CvDbText::ToUtf8(value.AsWide()));
                break;
            case CvDbValue::Null:
                break;
        }
    }
}

bool IsExpectedScriptFailure(const char* message) {
    return message && (std::strstr(message, "already exists") != nullptr ||
                       std::strstr(message, "duplicate column name") != nullptr);
}

}  // namespace

namespace {

// How many virtual machine steps run between two looks at the interrupt.
constexpr int kInterruptCheckSteps = 4000;

}  // namespace

CvDatabase2::~CvDatabase2() {
    std::lock_guard guard(m_lock);
    for (CvDbSrvMemCursor2* cursor : m_cursors) {
        cursor->m_database = nullptr;
    }
    m_cursors.clear();
    Close();
}

void CvDatabase2::SetPath(const std::string& utf8Path) {
    m_path = CvDbText::ToWide(utf8Path);
}

bool CvDatabase2::Open() {
    std::lock_guard guard(m_lock);
    Close();
    const std::string path = CvDbText::ToUtf8(m_path);
    const int flags = m_readOnly
                          ? (SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_READONLY)
                          : (SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        // SQLite's own text ("unable to open database file") does not say
        // why; the system's error does.
        const int systemError = db ? sqlite3_system_errno(db) : 0;
        m_openError = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        if (systemError != 0) {
            m_openError += std::string(" (") + std::strerror(systemError) + ")";
        }
        std::fprintf(stderr, "corvane: cannot open database %s: %s\n", path.c_str(),
                     m_openError.c_str());
        sqlite3_close(db);
        return false;
    }
    m_openError.clear();
    if (!CvDbTextFunctions::Install(db, CvText::CurrentLocaleName())) {
        std::fprintf(stderr, "corvane: %s: no collation for the locale, names compare as bytes\n",
                     path.c_str());
    }
    // Another program reading the file (corvane history, an export) holds a
    // shared lock for a moment; wait for it instead of failing the write.
    //
    // The file stays in SQLite's default rollback-journal mode, not WAL,
    // although in WAL readers never hold up a writer: WAL needs memory
    // shared by every process that opens the file, so it fails on a home
    // folder on a network file system, and it keeps recent writes in -wal and
    // -shm files beside the database, which a copy or backup of the archive
    // file alone would miss. A reader holds up a write for one query at most
    // (the program's own reader keeps its queries short); the busy time-out
    // waits that out, and the writers of the archive keep what still failed
    // and file it later (CvArchiveBacklog).
    sqlite3_busy_handler(db, &CvDatabase2::WaitForLock, this);
    if (m_interrupted) {
        sqlite3_progress_handler(db, kInterruptCheckSteps, &CvDatabase2::CheckInterrupt, this);
    }
    m_db = db;
    return true;
}

void CvDatabase2::SetBusyTimeout(int ms) {
    m_busyTimeoutMs = ms;
}

void CvDatabase2::SetInterrupt(std::function<bool()> interrupted) {
    m_interrupted = std::move(interrupted);
}

int CvDatabase2::WaitForLock(void* self, int attempts) {
    // SQLite's own handler sleeps up to 100 ms at a time once a wait grows,
    // so a writer held up by a reader's short query would wait far longer
    // than the query ran. Look every millisecond or two instead.
    auto* database = static_cast<CvDatabase2*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (attempts == 0) {
        database->m_waitingSince = now;
    }
    if (database->m_interrupted && database->m_interrupted()) {
        return 0;
    }
    const auto limit = std::chrono::milliseconds(database->m_busyTimeoutMs.load());
    const auto waited = now - database->m_waitingSince;
    if (waited >= limit) {
        return 0;
    }
    const auto pause = std::chrono::milliseconds(attempts < 20 ? 1 : 2);
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, limit - waited));
    return 1;
}

bool CvDatabase2::Interrupted(int rc) const {
    return rc == SQLITE_INTERRUPT || (m_interrupted && m_interrupted());
}

int CvDatabase2::CheckInterrupt(void* self) {
    return static_cast<CvDatabase2*>(self)->m_interrupted() ? 1 : 0;
}

void CvDatabase2::Close() {
    std::lock_guard guard(m_lock);
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

void CvDatabase2::Report(const std::u16string& sql, const char* message) const {
    std::string text = CvDbText::ToUtf8(sql);
    std::replace(text.begin(), text.end(), '\t', ' ');
    std::fprintf(stderr, "corvane: database %s: %s (in: %s)\n", CvDbText::ToUtf8(m_path).c_str(),
                 message ? message : "failed", text.c_str());
}

sqlite3_stmt* CvDatabase2::Prepare(const std::u16string& sql) {
    if (!m_db) {
        Report(sql, "not open");
        return nullptr;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare16_v2(m_db, sql.data(), static_cast<int>(sql.size() * 2), &statement,
                             nullptr) != SQLITE_OK) {
        Report(sql, sqlite3_errmsg(m_db));
        sqlite3_finalize(statement);  // nothing ran
        return nullptr;
    }
    return statement;
}

void CvDatabase2::ExecuteScript(const CvDbScriptEntry* entries, size_t count) {
    std::lock_guard guard(m_lock);
    for (size_t i = 0; i < count; ++i) {
        if (!m_db) {
            Report(entries[i].sql, "not open");
            continue;
        }
        sqlite3_stmt* statement = nullptr;
        const std::u16string& sql = entries[i].sql;
        int rc = sqlite3_prepare16_v2(m_db, sql.data(), static_cast<int>(sql.size() * 2),
                                      &statement, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(statement);
        }
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
            const char* message = sqlite3_errmsg(m_db);
            if (!IsExpectedScriptFailure(message)) {
                Report(sql, message);
            }
        }
        Finish(statement);
    }
}

bool CvDatabase2::ExecuteWrite(const std::u16string& sql, const CvDbRecord& record,
                               const CvDbRecord& whereParameters,
                               const std::u16string& insertedInto) {
    bool done = false;
    if (sqlite3_stmt* statement = Prepare(sql)) {
        BindRecord(statement, record);
        BindRecord(statement, whereParameters);
        const int rc = sqlite3_step(statement);
        done = rc == SQLITE_DONE;
        if (!done && !Interrupted(rc)) {
            Report(sql, sqlite3_errmsg(m_db));
        }
        Finish(statement);
    }
    if (done) {
        Written(insertedInto, insertedInto.empty() ? 0 : sqlite3_last_insert_rowid(m_db));
    }
    return done;
}

void CvDatabase2::Written(const std::u16string& insertedInto, int64_t rowid) {
    if (InBatch()) {
        if (insertedInto.empty()) {
            m_batchChanged = true;
        } else {
            m_batchInserts.emplace_back(insertedInto, rowid);
        }
    } else if (insertedInto.empty()) {
        TellChanged();
    } else {
        TellInserted(insertedInto, {rowid});
    }
}

void CvDatabase2::TellInserted(const std::u16string& table, const std::vector<int64_t>& rowids) {
    // A follower may add or remove followers or cursors while told.
    const std::vector<CvDbSrvMemCursor2*> cursors = m_cursors;
    for (CvDbSrvMemCursor2* cursor : cursors) {
        if (std::find(m_cursors.begin(), m_cursors.end(), cursor) != m_cursors.end()) {
            cursor->RowsInserted(table, rowids);
        }
    }
    const std::vector<CvDbFollower*> followers = m_followers;
    for (CvDbFollower* follower : followers) {
        if (std::find(m_followers.begin(), m_followers.end(), follower) != m_followers.end()) {
            follower->RowsInserted(table, rowids);
        }
    }
}

void CvDatabase2::TellChanged() {
    const std::vector<CvDbSrvMemCursor2*> cursors = m_cursors;
    for (CvDbSrvMemCursor2* cursor : cursors) {
        if (std::find(m_cursors.begin(), m_cursors.end(), cursor) != m_cursors.end()) {
            cursor->RowsChanged();
        }
    }
    const std::vector<CvDbFollower*> followers = m_followers;
    for (CvDbFollower* follower : followers) {
        if (std::find(m_followers.begin(), m_followers.end(), follower) != m_followers.end()) {
            follower->RowsChanged();
        }
    }
}

void CvDatabase2::AddFollower(CvDbFollower* follower) {
    std::lock_guard guard(m_lock);
    m_followers.push_back(follower);
}

void CvDatabase2::RemoveFollower(CvDbFollower* follower) {
    std::lock_guard guard(m_lock);
    std::erase(m_followers, follower);
}

void CvDatabase2::Finish(sqlite3_stmt* statement) {
    if (statement) {
        m_steps += static_cast<uint64_t>(sqlite3_stmt_status(statement, SQLITE_STMTSTATUS_VM_STEP, 0));
    }
    sqlite3_finalize(statement);
}

bool CvDatabase2::ExecuteSql(const char* sql) {
    if (!m_db) {
        return false;
    }
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        Report(CvDbText::ToWide(sql), message);
        sqlite3_free(message);
        return false;
    }
    return true;
}

void CvDatabase2::BeginBatch() {
    m_lock.Enter();  // held until CommitBatch: nobody else writes into the batch
    if (m_batchDepth++ == 0) {
        m_batchFailed = !ExecuteSql("BEGIN");
        m_batchInserts.clear();
        m_batchChanged = false;
    }
}

bool CvDatabase2::CommitBatch() {
    bool committed = true;
    if (m_batchDepth == 1 && !m_batchFailed) {
        committed = ExecuteSql("COMMIT");
        if (!committed) {
            ExecuteSql("ROLLBACK");
        }
    }
    --m_batchDepth;
    if (m_batchDepth == 0) {
        // Without BEGIN every write took effect alone and was told then.
        const bool tell = committed && !m_batchFailed;
        std::vector<std::pair<std::u16string, int64_t>> inserts;
        inserts.swap(m_batchInserts);
        const bool changed = m_batchChanged;
        m_batchChanged = false;
        m_batchFailed = false;
        if (tell && changed) {
            TellChanged();
        } else if (tell) {
            // One telling per table, its rows in the order written.
            std::vector<bool> told(inserts.size(), false);
            for (size_t i = 0; i < inserts.size(); ++i) {
                if (told[i]) {
                    continue;
                }
                std::vector<int64_t> rowids;
                for (size_t j = i; j < inserts.size(); ++j) {
                    if (!told[j] && inserts[j].first == inserts[i].first) {
                        rowids.push_back(inserts[j].second);
                        told[j] = true;
                    }
                }
                TellInserted(inserts[i].first, rowids);
            }
        }
    }
    m_lock.Leave();
    return committed;
}

bool CvDatabase2::Insert(const std::u16string& table, const CvDbRecord& record) {
    std::lock_guard guard(m_lock);
    const std::vector<std::u16string> names = ColumnNames(record);
    const std::u16string sql = u"INSERT INTO " + table + u"(" + Join(names, u"") + u") VALUES (" +
                               Join(names, u":") + u")";
    return ExecuteWrite(sql, record, {}, table);
}

bool CvDatabase2::Update(const std::u16string& table, const CvDbRecord& record,
                         const std::u16string& where, const CvDbRecord& whereParameters) {
    std::lock_guard guard(m_lock);
    std::vector<std::u16string> assignments;
    for (const auto& entry : record) {
        assignments.push_back(entry.first + u"=:" + entry.first);
    }
    std::u16string sql = u"UPDATE " + table + u" SET " + Join(assignments, u"");
    if (!where.empty()) {
        sql += u" WHERE " + where;
    }
    return ExecuteWrite(sql, record, whereParameters);
}

bool CvDatabase2::Delete(const std::u16string& table, const std::u16string& where,
                         const CvDbRecord& whereParameters) {
    std::lock_guard guard(m_lock);
    std::u16string sql = u"DELETE FROM " + table;
    if (!where.empty()) {
        sql += u" WHERE " + where;
    }
    return ExecuteWrite(sql, {}, whereParameters);
}

bool CvDatabase2::Execute(const std::u16string& sql, const CvDbRecord& parameters) {
    std::lock_guard guard(m_lock);
    return ExecuteWrite(sql, parameters, {});
}

std::unique_ptr<CvDbSrvMemCursor2> CvDatabase2::OpenCursor(const CvDbQuery& query,
                                                           bool autoRefresh) {
    std::lock_guard guard(m_lock);
    auto cursor = std::make_unique<CvDbSrvMemCursor2>(this, query, autoRefresh);
    cursor->Open();
    m_cursors.push_back(cursor.get());
    return cursor;
}

void CvDatabase2::UnregisterCursor(CvDbSrvMemCursor2* cursor) {
    std::lock_guard guard(m_lock);
    std::erase(m_cursors, cursor);
}

std::u16string CvDatabase2::QueryText(const CvDbQuery& query) {
    if (!query.rawSql.empty()) {
        return query.rawSql;
    }
    std::u16string sql = u"SELECT " + Join(query.selectList, u"") + u" FROM " + query.from;
    if (!query.where.empty()) {
        sql += u" WHERE " + query.where;
    }
    if (!query.groupBy.empty()) {
        sql += u" GROUP BY " + query.groupBy;
    }
    if (!query.orderBy.empty()) {
        sql += u" ORDER BY " + query.orderBy;
    }
    return sql;
}

bool CvDatabase2::RunQuery(const CvDbQuery& query, std::vector<CvDbSrvMemCursor2::Row>& rows) {
    std::lock_guard guard(m_lock);
    rows.clear();
    if (query.producer) {
        return query.producer(*this, query, rows);
    }
    return ForEachRow(query, [&rows](const CvDbSrvMemCursor2::Row& row) {
        rows.push_back(row);
        return true;
    });
}

bool CvDatabase2::ForEachRow(const CvDbQuery& query,
                             const std::function<bool(const CvDbSrvMemCursor2::Row&)>& each) {
    std::lock_guard guard(m_lock);
    const std::u16string sql = QueryText(query);
    sqlite3_stmt* statement = Prepare(sql);
    if (!statement) {
        return false;
    }
    BindRecord(statement, query.parameters);
    const int columns = sqlite3_column_count(statement);
    CvDbSrvMemCursor2::Row row;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        row.clear();
        row.reserve(static_cast<size_t>(columns));
        for (int i = 0; i < columns; ++i) {
            switch (sqlite3_column_type(statement, i)) {
                case SQLITE_INTEGER:
                    row.push_back(CvDbValue::FromInteger(sqlite3_column_int64(statement, i)));
                    break;
                case SQLITE_TEXT: {
                    const auto* text =
                        reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
                    const int bytes = sqlite3_column_bytes(statement, i);
                    row.push_back(CvDbValue::FromWide(
                        CvDbText::ToWide(std::string_view(text, static_cast<size_t>(bytes)))));
                    break;
                }
                default:
                    row.emplace_back();
                    break;
            }
        }
        if (!each(row)) {
            rc = SQLITE_DONE;
            break;
        }
    }
    const bool done = rc == SQLITE_DONE;
    if (!done && !Interrupted(rc)) {
        Report(sql, sqlite3_errmsg(m_db));
    }
    Finish(statement);
    return done;
}
