#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "storage/CvArchiveSearch.h"
#include "storage/CvDataSet2.h"
#include "storage/CvDbFollower.h"
#include "storage/CvDbValue.h"

class CvArchiveReader;
class CvDatabase2;

// The archive's dialogue list as a data set: one row per conversation
// partner, letter case ignored as NOCASE ignores it, with its newest message
// among those matching a search pattern (columns msgtype, interlocutor,
// sender, recipient, message, msgtime, rid, conttype; the rows of
// CvMsgArchive::kDialogueReferenceSql, found by CvArchiveSearch).
//
// It follows the archive connection: a stored message is placed by one
// lookup; any other change runs the search again. While it does not follow
// (nobody looks at it) it only notes what was stored, and places those
// messages, or searches again, when it follows again or is read.
//
// Searches run on the caller's thread until a reader is set; then they run
// on the reader's thread (CvArchiveReader), a newer search cancels an older
// one, and the rows stay as they are, still following the archive, until the
// caller takes the newest result with FinishSearch.
//
// Used on one thread, but for the reader's job.
class CvArchiveDialogues : public CvDataSet2, private CvDbFollower {
public:
    // The pattern that lists every dialogue.
    static const CvDbValue& Everything();
    // Messages stored while not following that are placed one by one when
    // it follows again; beyond that many it searches again.
    static constexpr size_t kMaxUnplaced = 1024;

    explicit CvArchiveDialogues(CvDatabase2& database);
    ~CvArchiveDialogues() override;
    CvArchiveDialogues(const CvArchiveDialogues&) = delete;
    CvArchiveDialogues& operator=(const CvArchiveDialogues&) = delete;

    // Starts following the connection, listing every dialogue; the search
    // runs when the rows are first needed.
    void Open();
    // Stops following; no rows.
    void Close();
    bool IsOpen() const { return m_open; }
    // Whether the archive's trigram index holds every message.
    void SetIndexReady(bool ready) { m_indexReady = ready; }

    // Lists the dialogues for `pattern` (the defining statement's srchstr):
    // at once, telling the observers, or on the reader.
    void Search(const CvDbValue& pattern);
    // The pattern the rows are for (not one still searched for).
    const CvDbValue& Pattern() const { return m_pattern; }

    // Searches on `reader` from now on (null: on the caller's thread).
    // `ready` is called on the reader's thread when a result waits for
    // FinishSearch. A search running on the former reader is cancelled.
    void SetReader(CvArchiveReader* reader, std::function<void()> ready);
    // Takes the newest search's result if it is in: the rows become its
    // rows, the messages stored since it began placed in them, and the
    // observers are told. True when it did; false when nothing was in, or
    // the result was of an older search, or the archive changed meanwhile
    // (it then searches again).
    bool FinishSearch();
    // Whether a search runs on the reader.
    bool IsSearching() const { return m_searching; }
    // Drops the search running on the reader, if any: the rows stay those of
    // Pattern(), following the archive.
    void CancelSearch();

    // Following is off until turned on. Turning it on brings the rows up to
    // date (placing or searching) and tells the observers when they changed.
    void SetFollowing(bool follow);
    bool IsFollowing() const { return m_following; }

    // The archive was emptied: no rows, and no search result to wait for.
    void Empty();

    bool SetCurrentRow(int row) override;
    // Without a reader, reading a list that is behind the archive brings it
    // up to date first; with one, reads never wait for a search.
    int GetLastIndex() override;
    int GetCurrentRow() override { return m_currentRow; }
    CvDbValue ReadValue(int row, const std::u16string& column) override;
    // Not supported: reports and changes nothing.
    void WriteValue(int row, const std::u16string& column, const CvDbValue& value) override;
    // Not supported: reports and changes nothing.
    void InsertRecord(const CvDbRecord& record) override;
    // Deletes the row's message (the dialogue's newest): its row leaves the
    // list at once, and the search runs again for the dialogue's next
    // message. Then tells the observers.
    void DeleteRecord(int row) override;
    int Find(const std::u16string& column, const CvDbValue& value) override;

private:
    using Row = CvArchiveSearch::Row;

    struct Result {
        uint64_t search = 0;
        uint64_t changes = 0;
        bool found = false;
        int64_t coveredRid = 0;
        std::vector<Row> rows;
    };

    void RowsInserted(const std::u16string& table, const std::vector<int64_t>& rowids) override;
    void RowsChanged() override;
    // Runs the search for `pattern` on the reader.
    void StartSearch(const CvDbValue& pattern);
    // Runs the search for `pattern` here; false when it failed.
    bool SearchHere(const CvDbValue& pattern);
    // Brings the rows up to date: places what waits, or searches again.
    // True when the rows changed.
    bool CatchUp();
    void PlaceAfter(int64_t rid);

    CvDatabase2& m_database;
    bool m_open = false;
    bool m_indexReady = false;
    bool m_following = false;
    // The rows miss a change that only a search brings in.
    bool m_stale = false;
    std::vector<int64_t> m_unplaced;
    CvDbValue m_pattern;
    std::vector<Row> m_rows;
    int m_currentRow = 0;

    CvArchiveReader* m_reader = nullptr;
    std::function<void()> m_ready;
    bool m_searching = false;
    CvDbValue m_wanted;  // the pattern of the search running
    uint64_t m_searches = 0;
    // Changes other than insertions: a search result from before one is
    // not taken.
    uint64_t m_changes = 0;
    std::mutex m_resultLock;
    bool m_haveResult = false;
    Result m_result;
};
