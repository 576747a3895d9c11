#include "storage/CvPopupList.h"

#include <mutex>
#include <utility>

#include "app/CvFormatMessage.h"
#include "app/CvLangTexts.h"
#include "app/CvTimeStamp.h"
#include "platform/CvTextCodec.h"
#include "storage/CvLocaleDateTimeFormat.h"

namespace {

const std::u16string kType = u"Type";
const std::u16string kOrigin = u"Origin";
const std::u16string kRecipient = u"Recipient";
const std::u16string kMessage = u"Message";
const std::u16string kReceived = u"Received";
const std::u16string kRead = u"Read";
const std::u16string kId = u"Id";

constexpr int kTextCaption = 201;
constexpr int kTextWrote = 205;
constexpr int kTextNoMessages = 206;
constexpr int kTextHeldBack = 211;

}  // namespace

CvPopupList::CvPopupList()
    : m_format(std::make_unique<CvLocaleDateTimeFormat>(CvText::CurrentLocaleName())) {}

CvPopupList::~CvPopupList() = default;

void CvPopupList::SetDateTimeFormat(std::unique_ptr<CvLocaleDateTimeFormat> format) {
    std::lock_guard guard(m_listLock);
    m_format = std::move(format);
}

bool CvPopupList::Append(const CMsg& msg, uint64_t receivedTicks) {
    std::lock_guard guard(m_listLock);
    m_last = msg;
    m_last.time = receivedTicks;
    if (m_rows.GetLastIndex() + 1 >= kMaxRows) {
        ++m_heldBack;
        return false;
    }
    // The row being read stays current: a message arriving while the popup
    // is open must not move what the next click marks read.
    const int current = m_rows.GetCurrentRow();
    const bool keep = ValidRow(current);
    m_rows.InsertRecord({
        {kType, CvDbValue::FromInteger(msg.type)},
        {kOrigin, CvDbValue::FromAnsi(msg.sender)},
        {kRecipient, CvDbValue::FromAnsi(msg.recipient)},
        {kMessage, CvDbValue::FromAnsi(msg.text)},
        {kReceived, CvDbValue::FromInteger(static_cast<int64_t>(receivedTicks))},
        {kRead, CvDbValue::FromInteger(0)},
        {kId, CvDbValue::FromInteger(m_nextId++)},
    });
    if (keep) {
        m_rows.SetCurrentRow(current);
    }
    return true;
}

int CvPopupList::HeldBack() {
    std::lock_guard guard(m_listLock);
    return m_heldBack;
}

void CvPopupList::ClearHeldBack() {
    std::lock_guard guard(m_listLock);
    m_heldBack = 0;
}

CMsg CvPopupList::LastReceived() {
    std::lock_guard guard(m_listLock);
    return m_last;
}

int CvPopupList::Count() {
    std::lock_guard guard(m_listLock);
    return m_rows.GetLastIndex() + 1;
}

int CvPopupList::CurrentRow() {
    std::lock_guard guard(m_listLock);
    return m_rows.GetCurrentRow();
}

bool CvPopupList::ValidRow(int row) {
    return row >= 0 && row <= m_rows.GetLastIndex();
}

int64_t CvPopupList::CurrentId() {
    std::lock_guard guard(m_listLock);
    const int row = m_rows.GetCurrentRow();
    return ValidRow(row) ? m_rows.ReadValue(row, kId).AsInteger() : -1;
}

bool CvPopupList::SelectId(int64_t id) {
    std::lock_guard guard(m_listLock);
    for (int row = 0; row <= m_rows.GetLastIndex(); ++row) {
        if (m_rows.ReadValue(row, kId).AsInteger() == id) {
            m_rows.SetCurrentRow(row);
            return true;
        }
    }
    return false;
}

bool CvPopupList::IsCurrentValid() {
    std::lock_guard guard(m_listLock);
    return ValidRow(m_rows.GetCurrentRow());
}

std::string CvPopupList::CurrentOrigin() {
    std::lock_guard guard(m_listLock);
    return m_rows.ReadValue(m_rows.GetCurrentRow(), kOrigin).AsAnsi();
}

std::string CvPopupList::CurrentMessage() {
    std::lock_guard guard(m_listLock);
    return m_rows.ReadValue(m_rows.GetCurrentRow(), kMessage).AsAnsi();
}

bool CvPopupList::MarkCurrentRead() {
    std::lock_guard guard(m_listLock);
    const int row = m_rows.GetCurrentRow();
    if (!ValidRow(row)) {
        return false;
    }
    m_rows.WriteValue(row, kRead, CvDbValue::FromInteger(1));
    return true;
}

bool CvPopupList::Previous() {
    std::lock_guard guard(m_listLock);
    const int row = m_rows.GetCurrentRow();
    if (row <= 0) {
        return false;
    }
    m_rows.SetCurrentRow(row - 1);
    return true;
}

bool CvPopupList::Next() {
    std::lock_guard guard(m_listLock);
    const int row = m_rows.GetCurrentRow();
    if (row >= m_rows.GetLastIndex()) {
        return false;
    }
    m_rows.SetCurrentRow(row + 1);
    return true;
}

void CvPopupList::DeleteCurrent() {
    std::lock_guard guard(m_listLock);
    const int row = m_rows.GetCurrentRow();
    if (!ValidRow(row)) {
        return;
    }
    m_rows.DeleteRecord(row);
    // The deleted row was the last one: show the one before it rather than
    // "No messages" while messages remain.
    if (row > m_rows.GetLastIndex()) {
        m_rows.SetCurrentRow(m_rows.GetLastIndex() < 0 ? 0 : m_rows.GetLastIndex());
    }
}

void CvPopupList::RemoveRead(bool removeRead, bool openAtNewest) {
    std::lock_guard guard(m_listLock);
    if (removeRead) {
        for (int row = m_rows.GetLastIndex(); row >= 0; --row) {
            if (m_rows.ReadValue(row, kRead).AsInteger() > 0) {
                m_rows.DeleteRecord(row);
            }
        }
    }
    const int last = m_rows.GetLastIndex();
    m_rows.SetCurrentRow(openAtNewest && last >= 0 ? last : 0);
}

bool CvPopupList::AnyUnread() {
    std::lock_guard guard(m_listLock);
    for (int row = m_rows.GetLastIndex(); row >= 0; --row) {
        if (m_rows.ReadValue(row, kRead).AsInteger() == 0) {
            return true;
        }
    }
    return false;
}

void CvPopupList::ChooseRow(int mode, bool openAtNewest, bool popupVisible) {
    const Counters counters = GetCounters();
    std::lock_guard guard(m_listLock);
    if (mode == kOpenFirstUnread || mode == kOpenLastUnread) {
        const int row = mode == kOpenFirstUnread ? counters.firstUnread : counters.lastUnread;
        if (ValidRow(row)) {
            m_rows.SetCurrentRow(row);
        }
        return;
    }
    if (!openAtNewest) {
        m_rows.SetCurrentRow(0);
    } else if (!popupVisible) {
        const int last = m_rows.GetLastIndex();
        m_rows.SetCurrentRow(last < 0 ? 0 : last);
    }
}

void CvPopupList::Recount() {
    Counters counters;
    {
        std::lock_guard guard(m_listLock);
        counters.heldBack = m_heldBack;
        const int last = m_rows.GetLastIndex();
        for (int row = 0; row <= last; ++row) {
            ++counters.total;
            if (m_rows.ReadValue(row, kRead).AsInteger() == 0) {
                ++counters.unread;
                if (counters.firstUnread < 0) {
                    counters.firstUnread = row;
                }
                counters.lastUnread = row;
            }
        }
    }
    std::lock_guard guard(m_countersLock);
    m_counters = counters;
}

CvPopupList::Counters CvPopupList::GetCounters() {
    std::lock_guard guard(m_countersLock);
    return m_counters;
}

void CvPopupList::Counts(int& total, int& unread) {
    std::lock_guard guard(m_countersLock);
    total = m_counters.total + m_counters.heldBack;
    unread = m_counters.unread + m_counters.heldBack;
}

CvPopupList::Content CvPopupList::CurrentContent(const CvLangTexts& texts, bool infoDisabled) {
    Content content;
    content.caption = texts.GetText(kTextCaption);
    std::lock_guard guard(m_listLock);
    const std::string heldBack =
        m_heldBack > 0
            ? CvFormatMessage(texts.GetText(kTextHeldBack), {std::to_string(m_heldBack)}) + "\r\n"
            : std::string();
    const int row = m_rows.GetCurrentRow();
    if (!ValidRow(row)) {
        content.body = heldBack + texts.GetText(kTextNoMessages);
        return content;
    }
    content.valid = true;
    content.caption +=
        " (" + std::to_string(row + 1) + "/" + std::to_string(m_rows.GetLastIndex() + 1) + ")";
    const std::string text = m_rows.ReadValue(row, kMessage).AsAnsi();
    if (infoDisabled) {
        content.body = heldBack + text;
        return content;
    }
    const auto received = static_cast<uint64_t>(m_rows.ReadValue(row, kReceived).AsInteger());
    std::string date;
    std::string time;
    if (!m_format || !m_format->Format(CvTimeStampText(received), date, time)) {
        const std::string stamp = CvTimeStampText(received);
        date = stamp.substr(0, 10);
        time = stamp.size() > 11 ? stamp.substr(11) : std::string();
    }
    const std::string line = CvFormatMessage(
        texts.GetText(kTextWrote),
        {m_rows.ReadValue(row, kOrigin).AsAnsi(), m_rows.ReadValue(row, kRecipient).AsAnsi()});
    content.body = heldBack + date + " " + time + "\r\n" + line + "\r\n \r\n" + text;
    return content;
}
