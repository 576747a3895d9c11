#pragma once

#include <string>

// A named lock between processes, standing in for a named mutex: an advisory
// lock (flock) on a file of that name in the user's lock folder. The kernel
// drops it when the holder ends in any way, so a crashed instance never
// blocks the next start.
class CvInstanceLock {
public:
    enum class Mode {
        Exclusive,  // one holder
        Shared,     // any number of holders; tells others that someone holds it
    };

    // Held in shared mode by every running instance.
    static constexpr const char* kPresenceName = "CORVANE_MESSENGER_IS_RUNNING";
    // "CORVANEMESSENGER@" and the user name, upper-cased (ASCII letters; pass
    // an already upper-cased name for others). '/' becomes '_'.
    static std::string PerUserName(const std::string& userName);

    // $XDG_RUNTIME_DIR/corvane, else /tmp/corvane-<uid>; created with mode
    // 0700. "" when it cannot be created or is not a private folder of this
    // user (so nobody else can hold or fake our locks); `problem` (when
    // given) then says why, for a person: XDG_RUNTIME_DIR names a folder that
    // does not exist, the folder belongs to another user or is open to
    // others, the system refused to create it.
    static std::string LockFolder(std::string* problem = nullptr);

    explicit CvInstanceLock(std::string name, Mode mode = Mode::Exclusive);
    ~CvInstanceLock();
    CvInstanceLock(const CvInstanceLock&) = delete;
    CvInstanceLock& operator=(const CvInstanceLock&) = delete;

    // Takes the lock without waiting. False when another holder prevents it or
    // the lock file cannot be opened. True at once when already held.
    bool TryAcquire();
    bool IsHeld() const { return m_fd >= 0; }
    void Release();
    // After a failed TryAcquire: "" when another holder has the lock, else
    // why the lock could not be tried (no usable lock folder, the lock file
    // cannot be opened), for a person.
    const std::string& Problem() const { return m_problem; }

    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
    Mode m_mode;
    int m_fd = -1;
    std::string m_problem;
};
