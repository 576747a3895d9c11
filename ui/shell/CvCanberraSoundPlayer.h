#pragma once

#include <deque>
#include <memory>
#include <string>

#include "app/CvClassThread.h"
#include "app/CvCriticalSection.h"
#include "app/CvSoundPlayer.h"
#include "platform/CvEvent.h"

struct ca_context;

// Plays sound files through libcanberra (PulseAudio, PipeWire or ALSA). A
// thread of its own owns the one long-lived context and plays the queued
// files, so that neither connecting to the sound server nor a broken file
// ever holds up the caller. Failures are silent.
class CvCanberraSoundPlayer : public CvSoundPlayer {
public:
    CvCanberraSoundPlayer();
    // Stops the thread; sounds still queued are dropped.
    ~CvCanberraSoundPlayer() override;

    // Sounds handed to the sound server so far, and those it refused (a
    // missing or unreadable file, no server). For diagnostics and tests.
    int Played();
    int Failed();

protected:
    void Play(const std::string& path) override;

private:
    void Thread(CvThread* thread);

    static constexpr size_t kMaxQueued = 8;

    CvCriticalSection m_lock;
    std::deque<std::string> m_queue;
    int m_played = 0;
    int m_failed = 0;
    CvEvent m_queued{false, false};
    std::unique_ptr<CvClassThread<CvCanberraSoundPlayer>> m_thread;
};
