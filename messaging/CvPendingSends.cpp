#include "messaging/CvPendingSends.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "app/CvLangTexts.h"
#include "messaging/SendResultCode.h"

int32_t CvPendingSends::NextMessageId() {
    static std::atomic<int32_t> counter{0};
    return ++counter;
}

std::vector<CvPendingSends::Entry> CvPendingSends::Start(const std::vector<CMsg>& messages) {
    std::lock_guard guard(m_lock);
    m_entries.clear();
    for (const CMsg& msg : messages) {
        Entry entry;
        entry.msg = msg;
        entry.id = NextMessageId();
        m_entries.push_back(std::move(entry));
    }
    return m_entries;
}

bool CvPendingSends::Record(int32_t id, int32_t code, const std::string& errorText) {
    std::lock_guard guard(m_lock);
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [id](const Entry& entry) { return entry.id == id; });
    if (it == m_entries.end() || it->code != 0) {
        return false;
    }
    it->code = code;
    it->errorText = errorText;
    return std::all_of(m_entries.begin(), m_entries.end(),
                       [](const Entry& entry) { return entry.code != 0; });
}

std::vector<int32_t> CvPendingSends::Unfinished() {
    std::lock_guard guard(m_lock);
    std::vector<int32_t> ids;
    for (const Entry& entry : m_entries) {
        if (entry.code == 0) {
            ids.push_back(entry.id);
        }
    }
    return ids;
}

bool CvPendingSends::IsSending() {
    return !Unfinished().empty();
}

CvPendingSends::Outcome CvPendingSends::Summarize(const CvLangTexts& texts) {
    std::lock_guard guard(m_lock);
    Outcome outcome;
    for (const Entry& entry : m_entries) {
        if (entry.code >= SendResultUnknownError && entry.code <= SendResultNoInterface) {
            outcome.failureText +=
                entry.msg.recipient + " (" + texts.GetText(SendResultTextId(entry.code)) + ")\r\n";
            outcome.failed = true;
        }
        if (!entry.errorText.empty()) {
            outcome.failureText += entry.errorText + "\r\n";
        }
    }
    return outcome;
}
