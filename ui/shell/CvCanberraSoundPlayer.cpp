#include "ui/shell/CvCanberraSoundPlayer.h"

#include <mutex>

#include <canberra.h>

CvCanberraSoundPlayer::CvCanberraSoundPlayer()
    : m_thread(std::make_unique<CvClassThread<CvCanberraSoundPlayer>>(
          this, &CvCanberraSoundPlayer::Thread)) {
    m_thread->Start();
}

CvCanberraSoundPlayer::~CvCanberraSoundPlayer() {
    m_thread.reset();
}

void CvCanberraSoundPlayer::Play(const std::string& path) {
    {
        std::lock_guard guard(m_lock);
        // A burst of messages must not queue a minute of sounds.
        if (m_queue.size() >= kMaxQueued) {
            return;
        }
        m_queue.push_back(path);
    }
    m_queued.Set();
}

int CvCanberraSoundPlayer::Played() {
    std::lock_guard guard(m_lock);
    return m_played;
}

int CvCanberraSoundPlayer::Failed() {
    std::lock_guard guard(m_lock);
    return m_failed;
}

void CvCanberraSoundPlayer::Thread(CvThread* thread) {
    ca_context* context = nullptr;
    // Destroying a context right after a sound finished has crashed inside
    // the library; one context lives as long as the player.
    if (ca_context_create(&context) == CA_SUCCESS) {
        ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "Corvane Messenger",
                                CA_PROP_APPLICATION_ID, "corvane-messenger", nullptr);
    } else {
        context = nullptr;
    }
    uint32_t id = 0;
    while (thread->WaitForEventOrStop(m_queued, kInfinite)) {
        for (;;) {
            std::string path;
            {
                std::lock_guard guard(m_lock);
                if (m_queue.empty()) {
                    break;
                }
                path = std::move(m_queue.front());
                m_queue.pop_front();
            }
            const int result = context == nullptr
                                   ? CA_ERROR_NOTAVAILABLE
                                   : ca_context_play(context, ++id, CA_PROP_MEDIA_FILENAME,
                                                     path.c_str(), CA_PROP_EVENT_DESCRIPTION,
                                                     "Corvane Messenger event", nullptr);
            std::lock_guard guard(m_lock);
            (result == CA_SUCCESS ? m_played : m_failed) += 1;
        }
    }
    if (context != nullptr) {
        ca_context_destroy(context);
    }
}
