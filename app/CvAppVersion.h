#pragma once

// The program's version, "major.minor.patch".
inline const char* CvAppVersion() {
    return CORVANE_VERSION;
}
