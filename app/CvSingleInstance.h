#pragma once

#include <optional>
#include <string>

#include "platform/CvInstanceLock.h"

// Keeps one running instance per user name. Hold the object for the life of
// the process: the locks go with it (or with the process, however it ends).
class CvSingleInstance {
public:
    CvSingleInstance();

    // Takes the machine-wide presence lock (shared; its result does not
    // matter) and the lock of `userName` (CvStationNames::UserName() when
    // empty). True when this process is the only instance of that user; false
    // when another runs or the lock cannot be taken, and the caller then ends
    // silently.
    bool Start(const std::string& userName = {});

private:
    CvInstanceLock m_presence;
    std::optional<CvInstanceLock> m_perUser;
};
