#pragma once

#include <string>

// Plays event sounds without waiting for them.
class CvSoundPlayer {
public:
    virtual ~CvSoundPlayer() = default;

    // Starts playing the sound file and returns at once. An empty path plays
    // nothing; a missing or unreadable file is silent.
    void PlaySoundFile(const std::string& path) {
        if (!path.empty()) {
            Play(path);
        }
    }

protected:
    virtual void Play(const std::string& path) = 0;
};
