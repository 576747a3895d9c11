#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/CvCriticalSection.h"
#include "messaging/CMsg.h"
#include "storage/CvArrayDataSet.h"

class CvLangTexts;
class CvLocaleDateTimeFormat;

// The received messages the popup window pages through, with the current row,
// the last received message and counters over the rows. It holds at most
// kMaxRows rows: a message arriving beyond that is only counted as held back
// (the archive keeps it), so that a peer flooding the station cannot make the
// list grow without end; the counts the tray shows include the held-back
// messages, and the popup says how many there are. Two locks, as
// the popup and the tray use them: the list lock guards the rows, the current
// row and the last message; the counters lock guards the counters, which the
// tray's thread reads. No operation holds both at once.
class CvPopupList {
public:
    // How the popup picks its row when shown.
    static constexpr int kOpenDefault = 0;
    static constexpr int kOpenFirstUnread = 3;
    static constexpr int kOpenLastUnread = 4;

    static constexpr int kMaxRows = 1000;

    // Over the rows; the held-back messages are counted apart.
    struct Counters {
        int total = 0;
        int unread = 0;
        int firstUnread = -1;  // row index, -1 when none
        int lastUnread = -1;
        int heldBack = 0;
    };

    // What the popup shows of the current row.
    struct Content {
        bool valid = false;  // a row is current
        std::string caption;
        std::string body;
    };

    CvPopupList();
    ~CvPopupList();
    CvPopupList(const CvPopupList&) = delete;
    CvPopupList& operator=(const CvPopupList&) = delete;

    // The date and time formats of the message information line (default: the
    // user's locale).
    void SetDateTimeFormat(std::unique_ptr<CvLocaleDateTimeFormat> format);

    // Appends an unread row stamped `receivedTicks` (local FILETIME) and
    // makes it the last received message. The current row stays where it is
    // (the new row becomes current only in an empty list). With kMaxRows
    // rows the message is held back instead (false).
    bool Append(const CMsg& msg, uint64_t receivedTicks);
    // Messages held back since the last ClearHeldBack.
    int HeldBack();
    // The user is shown the held-back messages elsewhere (the archive).
    void ClearHeldBack();
    // A copy of the last appended message (empty before the first).
    CMsg LastReceived();

    int Count();
    int CurrentRow();
    // A number that names the current row for as long as it exists (rows
    // before it may go, others come); -1 when no row is current.
    int64_t CurrentId();
    // Makes the row named `id` current; false, and nothing changed, when it
    // no longer exists.
    bool SelectId(int64_t id);
    bool IsCurrentValid();
    // "Origin" and "Message" of the current row ("" when none is current).
    std::string CurrentOrigin();
    std::string CurrentMessage();

    // Marks the current row read; false when no row is current.
    bool MarkCurrentRead();
    // Moves one row back or forward; false at either end.
    bool Previous();
    bool Next();
    // Deletes the current row. The row after it becomes current, or the new
    // last row when the deleted one was last.
    void DeleteCurrent();
    // With `removeRead`, deletes every read row; then goes to the first row,
    // or with `openAtNewest` to the last one.
    void RemoveRead(bool removeRead, bool openAtNewest);
    // Whether any row is unread (searched from the newest).
    bool AnyUnread();
    // Picks the row to show: the first or last unread row for the two unread
    // modes (when the counters name one), else the first row unless
    // `openAtNewest`, in which case the last row when the popup is not visible
    // (a visible popup keeps its row). Uses the counters, so Recount first.
    void ChooseRow(int mode, bool openAtNewest, bool popupVisible);

    // Counts the rows into the counters.
    void Recount();
    Counters GetCounters();
    // Total and unread messages, the held-back ones included, for the tray
    // tip (any thread).
    void Counts(int& total, int& unread);

    // The caption "<title> (i/n)" and the body: unless `infoDisabled`, the
    // date, the time and "%1 wrote to %2:" before the text; "No messages"
    // without a current row. While messages are held back, a line saying
    // how many comes first.
    Content CurrentContent(const CvLangTexts& texts, bool infoDisabled);

private:
    bool ValidRow(int row);

    CvCriticalSection m_listLock;
    CvArrayDataSet m_rows;
    CMsg m_last;
    int m_heldBack = 0;
    int64_t m_nextId = 0;
    std::unique_ptr<CvLocaleDateTimeFormat> m_format;

    CvCriticalSection m_countersLock;
    Counters m_counters;
};
