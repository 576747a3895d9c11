#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/CvSettingStorage.h"

// Moves the program's autostart entry (value "Corvane Messenger" of the Run
// key) from one autostart state to another: 0 no entry, 1 the current user's
// Run key, 2 the machine's Run key. The machine's key is written directly
// when this process may, else through the elevated writer, which asks the
// user for the administrator password.
class CvAutostartChange {
public:
    static constexpr int32_t kDisabled = 0;
    static constexpr int32_t kCurrentUser = 1;
    static constexpr int32_t kAllUsers = 2;

    // `runCommand` is the value written: the desktop program's path in
    // double quotes (CvAppPaths::AutostartCommand).
    explicit CvAutostartChange(std::string runCommand);

    // True when the entries now stand for `newState` (the caller records it
    // as the autostart setting); the old entry is deleted only after the new
    // one was written, and a failed delete of a stale entry is not counted.
    // False when nothing was changed and `oldState` stands: the same state,
    // a state out of range, the administrator rights were not granted, or
    // the new entry could not be written.
    bool Apply(int32_t oldState, int32_t newState) const;

private:
    // Where the entry of `state` lives; null for state 0, and when the key
    // cannot be written (`refused` tells whether elevation was refused).
    static std::unique_ptr<CvSettingStorage> OpenTarget(int32_t state, bool& refused);

    std::string m_runCommand;
};
