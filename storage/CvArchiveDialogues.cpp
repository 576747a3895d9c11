#include "storage/CvArchiveDialogues.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "storage/CvArchiveReader.h"
#include "storage/CvDatabase2.h"

namespace {

const std::vector<std::u16string>& Columns() {
    static const std::vector<std::u16string> columns = {
        u"msgtype", u"interlocutor", u"sender", u"recipient",
        u"message", u"msgtime",      u"rid",    u"conttype"};
    return columns;
}

int ColumnIndex(const std::u16string& column) {
    const auto& columns = Columns();
    const auto found = std::find(columns.begin(), columns.end(), column);
    return found == columns.end() ? -1 : static_cast<int>(found - columns.begin());
}

}  // namespace

const CvDbValue& CvArchiveDialogues::Everything() {
    static const CvDbValue pattern = CvDbValue::FromAnsi("%%");
    return pattern;
}

CvArchiveDialogues::CvArchiveDialogues(CvDatabase2& database)
    : m_database(database), m_pattern(Everything()), m_wanted(Everything()) {}

CvArchiveDialogues::~CvArchiveDialogues() {
    SetReader(nullptr, nullptr);
    Close();
}

void CvArchiveDialogues::Open() {
    if (!m_open) {
        m_database.AddFollower(this);
        m_open = true;
    }
    m_rows.clear();
    m_unplaced.clear();
    m_pattern = Everything();
    m_stale = true;
    if (m_reader && m_following) {
        StartSearch(m_pattern);
    }
    Notify();
}

void CvArchiveDialogues::Close() {
    if (m_open) {
        m_database.RemoveFollower(this);
        m_open = false;
    }
    if (m_reader) {
        m_reader->Cancel();
    }
    m_searching = false;
    m_rows.clear();
    m_unplaced.clear();
    m_stale = false;
}

void CvArchiveDialogues::Search(const CvDbValue& pattern) {
    if (!m_open) {
        m_pattern = pattern;
        return;
    }
    if (m_reader) {
        StartSearch(pattern);
        return;
    }
    SearchHere(pattern);
    Notify();
}

bool CvArchiveDialogues::SearchHere(const CvDbValue& pattern) {
    CvArchiveSearch::Options options;
    options.indexReady = m_indexReady;
    std::vector<Row> rows;
    int64_t covered = 0;
    const bool found = CvArchiveSearch::Run(m_database, pattern, options, rows, covered);
    m_pattern = pattern;
    m_rows = std::move(rows);
    // A failed search is not tried again at every read; the next change is.
    m_stale = false;
    m_unplaced.clear();
    return found;
}

void CvArchiveDialogues::StartSearch(const CvDbValue& pattern) {
    m_wanted = pattern;
    m_searching = true;
    const uint64_t search = ++m_searches;
    const uint64_t changes = m_changes;
    const bool indexReady = m_indexReady;
    m_reader->Post([this, pattern, search, changes, indexReady](
                       CvDatabase2& database, const CvArchiveReader::Cancelled& cancelled) {
        Result result;
        result.search = search;
        result.changes = changes;
        CvArchiveSearch::Options options;
        options.indexReady = indexReady;
        options.cancelled = cancelled;
        result.found =
            CvArchiveSearch::Run(database, pattern, options, result.rows, result.coveredRid);
        if (cancelled()) {
            return;
        }
        {
            std::lock_guard guard(m_resultLock);
            m_result = std::move(result);
            m_haveResult = true;
        }
        if (m_ready) {
            m_ready();
        }
    });
}

bool CvArchiveDialogues::FinishSearch() {
    Result result;
    {
        std::lock_guard guard(m_resultLock);
        if (!m_haveResult) {
            return false;
        }
        result = std::move(m_result);
        m_haveResult = false;
    }
    if (!m_searching || result.search != m_searches) {
        return false;
    }
    m_searching = false;
    if (result.changes != m_changes) {
        StartSearch(m_wanted);  // a message was deleted meanwhile
        return false;
    }
    if (result.found) {
        m_pattern = m_wanted;
        m_rows = std::move(result.rows);
        m_stale = false;
        m_unplaced.clear();
        PlaceAfter(result.coveredRid);
    } else {
        // The reader could not read the file (it said why): search here.
        SearchHere(m_wanted);
    }
    Notify();
    return true;
}

void CvArchiveDialogues::CancelSearch() {
    if (!m_searching) {
        return;
    }
    m_reader->Cancel();  // nothing calls `ready` for it after this
    {
        std::lock_guard guard(m_resultLock);
        m_haveResult = false;
    }
    m_searching = false;
    m_wanted = m_pattern;
}

void CvArchiveDialogues::SetReader(CvArchiveReader* reader, std::function<void()> ready) {
    if (m_reader) {
        m_reader->Cancel();  // nothing calls `ready` after this
    }
    {
        std::lock_guard guard(m_resultLock);
        m_haveResult = false;
    }
    if (m_searching) {
        m_searching = false;
        m_pattern = m_wanted;
        m_stale = true;
    }
    m_reader = reader;
    m_ready = std::move(ready);
    if (m_reader && m_open && m_following && m_stale) {
        StartSearch(m_pattern);
    }
}

void CvArchiveDialogues::SetFollowing(bool follow) {
    m_following = follow;
    if (follow && m_open && CatchUp()) {
        Notify();
    }
}

bool CvArchiveDialogues::CatchUp() {
    if (m_stale) {
        if (!m_reader) {
            SearchHere(m_pattern);
            return true;
        }
        if (!m_searching) {
            StartSearch(m_pattern);
        }
        return false;
    }
    if (m_unplaced.empty()) {
        return false;
    }
    std::vector<int64_t> rowids;
    rowids.swap(m_unplaced);
    for (const int64_t rid : rowids) {
        Row row;
        if (!CvArchiveSearch::LookUp(m_database, m_pattern, rid, row)) {
            m_stale = true;
            CatchUp();
            return true;
        }
        if (!row.empty()) {
            CvArchiveSearch::Place(m_rows, std::move(row));
        }
    }
    return true;
}

void CvArchiveDialogues::PlaceAfter(int64_t rid) {
    std::vector<Row> rows;
    if (!CvArchiveSearch::RowsAfter(m_database, m_pattern, rid, rows)) {
        return;
    }
    for (Row& row : rows) {
        CvArchiveSearch::Place(m_rows, std::move(row));
    }
}

void CvArchiveDialogues::Empty() {
    if (m_reader) {
        m_reader->Cancel();
    }
    {
        std::lock_guard guard(m_resultLock);
        m_haveResult = false;
    }
    if (m_searching) {
        m_searching = false;
        m_pattern = m_wanted;
    }
    m_rows.clear();
    m_unplaced.clear();
    m_stale = false;
    Notify();
}

void CvArchiveDialogues::RowsInserted(const std::u16string& table,
                                      const std::vector<int64_t>& rowids) {
    if (!m_open || table != u"messages" || m_stale) {
        return;  // a search to come covers them
    }
    if (!m_following) {
        if (m_unplaced.size() + rowids.size() > kMaxUnplaced) {
            m_unplaced.clear();
            m_stale = true;
        } else {
            m_unplaced.insert(m_unplaced.end(), rowids.begin(), rowids.end());
        }
        return;
    }
    m_unplaced.insert(m_unplaced.end(), rowids.begin(), rowids.end());
    CatchUp();
}

void CvArchiveDialogues::RowsChanged() {
    ++m_changes;
    if (!m_open) {
        return;
    }
    m_unplaced.clear();
    m_stale = true;
    if (m_following && m_reader) {
        StartSearch(m_searching ? m_wanted : m_pattern);
    }
}

bool CvArchiveDialogues::SetCurrentRow(int row) {
    m_currentRow = row;
    return true;
}

int CvArchiveDialogues::GetLastIndex() {
    if (!m_reader && m_open) {
        CatchUp();
    }
    return static_cast<int>(m_rows.size()) - 1;
}

CvDbValue CvArchiveDialogues::ReadValue(int row, const std::u16string& column) {
    if (!m_reader && m_open) {
        CatchUp();
    }
    const int index = ColumnIndex(column);
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || index < 0) {
        return {};
    }
    return m_rows[static_cast<size_t>(row)][static_cast<size_t>(index)];
}

void CvArchiveDialogues::WriteValue(int, const std::u16string&, const CvDbValue&) {
    std::fputs("CvArchiveDialogues::WriteValue\n", stderr);
}

void CvArchiveDialogues::InsertRecord(const CvDbRecord&) {
    std::fputs("CvArchiveDialogues::InsertRecord\n", stderr);
}

void CvArchiveDialogues::DeleteRecord(int row) {
    const CvDbValue rid = ReadValue(row, u"rid");
    if (rid.GetTag() == CvDbValue::Integer) {
        m_database.Delete(u"messages", u"rid =:rid", {{u"rid", rid}});
        // Until the search brings the dialogue's next message, the deleted
        // one is not shown.
        std::erase_if(m_rows, [&rid](const Row& listed) {
            return listed[CvArchiveSearch::kRidColumn] == rid;
        });
    }
    Notify();
}

int CvArchiveDialogues::Find(const std::u16string& column, const CvDbValue& value) {
    if (!m_reader && m_open) {
        CatchUp();
    }
    const int index = ColumnIndex(column);
    if (index < 0) {
        return -1;
    }
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i][static_cast<size_t>(index)] == value) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
