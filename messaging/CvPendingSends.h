#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/CvCriticalSection.h"
#include "messaging/CMsg.h"

class CvLangTexts;

// The sends of one write-message window that wait for their results: written
// by the window (start, close) and by the outbox's send thread (results),
// always under one lock.
class CvPendingSends {
public:
    struct Entry {
        CMsg msg;
        int32_t id = 0;
        int32_t code = 0;  // SendResultCode; 0 = not known yet
        std::string errorText;
    };

    struct Outcome {
        bool failed = false;
        // "NAME (reason)\r\n" per failed recipient, then every error detail.
        std::string failureText;
    };

    // Message ids unique in the process, the first one 1.
    static int32_t NextMessageId();

    // Replaces the list with one entry per message, each with a fresh id;
    // returns the entries (for queueing them).
    std::vector<Entry> Start(const std::vector<CMsg>& messages);
    // Records a result. True when this result completed the list (every
    // entry has a code), which happens once per Start; false for an id that
    // is not pending.
    bool Record(int32_t id, int32_t code, const std::string& errorText);
    // The ids still waiting for a result.
    std::vector<int32_t> Unfinished();
    bool IsSending();
    // Failed recipients with the texts of their result codes.
    Outcome Summarize(const CvLangTexts& texts);

private:
    CvCriticalSection m_lock;
    std::vector<Entry> m_entries;
};
