#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "platform/CvNcb.h"

class CvEvent;

// The commands the stack has accepted and not yet finished. Used on the I/O
// thread only. A command is finished exactly once: by its service, by a
// cancel, or when the stack shuts down.
class CvNbtPending {
public:
    // syncDone is the event a synchronous Submit waits on; null for
    // asynchronous commands, which signal ncb.event instead.
    void Begin(CvNcb& ncb, CvEvent* syncDone);
    // What to undo in the owning service when the command is finished from
    // outside (cancel, shutdown): unlink it, stop its timers, close sockets.
    void SetDetach(CvNcb& ncb, std::function<void()> detach);
    bool IsPending(const CvNcb* ncb) const { return m_commands.count(ncb) != 0; }

    // Stores code in ncb and signals the issuer. Does nothing for a command
    // that is not pending. The detach function is not called.
    void Complete(CvNcb& ncb, uint8_t code);
    // Detaches and completes with kNrcCmdCan; false if ncb is not pending.
    bool Cancel(CvNcb* ncb);
    // Detaches and completes every pending command with code.
    void CompleteAll(uint8_t code);
    // Detaches and completes with code every pending command that match
    // accepts. A detach may finish other commands; those are skipped.
    void CompleteWhere(const std::function<bool(const CvNcb&)>& match, uint8_t code);

private:
    struct Command {
        CvEvent* syncDone = nullptr;
        std::function<void()> detach;
    };
    std::map<const CvNcb*, Command> m_commands;
};
