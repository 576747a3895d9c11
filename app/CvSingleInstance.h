#pragma once

#include <optional>
#include <string>

#include "platform/CvInstanceLock.h"

// Keeps one running instance per user name. Hold the object for the life of
// the process: the locks go with it (or with the process, however it ends).
//
// A station of the command-line tool and the desktop program exclude each
// other through the same per-user lock; the desktop program holds a second
// lock, so that whoever is refused can tell which of the two runs.
class CvSingleInstance {
public:
    enum class Role { Station, Desktop };

    CvSingleInstance();

    // Takes the machine-wide presence lock (shared; its result does not
    // matter) and the lock of `userName` (CvStationNames::UserName() when
    // empty); the desktop program also its own. True when this process is
    // the only instance of that user; false when another runs or the lock
    // cannot be taken, and the caller then ends.
    bool Start(const std::string& userName = {}, Role role = Role::Station);

    // After a refused Start: whether the desktop program is what runs.
    bool DesktopRuns() const { return m_desktopRuns; }
    // After a refused Start: "" when another instance runs; else why the
    // lock could not be taken (CvInstanceLock::Problem), and nothing is
    // known about other instances.
    const std::string& Problem() const { return m_problem; }

    static std::string DesktopLockName(const std::string& userName);

private:
    CvInstanceLock m_presence;
    std::optional<CvInstanceLock> m_perUser;
    std::optional<CvInstanceLock> m_desktop;
    bool m_desktopRuns = false;
    std::string m_problem;
};
