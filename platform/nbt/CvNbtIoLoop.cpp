#include "platform/nbt/CvNbtIoLoop.h"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

CvNbtIoLoop::~CvNbtIoLoop() {
    Stop();
}

bool CvNbtIoLoop::Start() {
    if (m_thread.joinable()) {
        return true;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    m_wakeRead = fds[0];
    m_wakeWrite = fds[1];
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CvNbtIoLoop::Stop() {
    {
        std::lock_guard guard(m_postLock);
        if (m_stopped) {
            return;
        }
        m_stopping = true;
    }
    if (m_thread.joinable()) {
        Wake();
        m_thread.join();
    }
    std::lock_guard guard(m_postLock);
    m_stopped = true;
    m_posted.clear();
    if (m_wakeRead >= 0) {
        close(m_wakeRead);
        close(m_wakeWrite);
        m_wakeRead = m_wakeWrite = -1;
    }
}

bool CvNbtIoLoop::Post(Task task) {
    {
        std::lock_guard guard(m_postLock);
        if (m_stopping || m_stopped) {
            return false;
        }
        m_posted.push_back(std::move(task));
    }
    Wake();
    return true;
}

void CvNbtIoLoop::Wake() {
    const char byte = 1;
    // A full pipe already guarantees a wake-up.
    [[maybe_unused]] const ssize_t written = write(m_wakeWrite, &byte, 1);
}

void CvNbtIoLoop::Watch(int fd, short events, FdHandler handler) {
    m_watched[fd] = Watched{events, ++m_generation, std::move(handler)};
}

void CvNbtIoLoop::SetEvents(int fd, short events) {
    auto it = m_watched.find(fd);
    if (it != m_watched.end()) {
        it->second.events = events;
    }
}

void CvNbtIoLoop::Unwatch(int fd) {
    m_watched.erase(fd);
}

CvNbtIoLoop::TimerId CvNbtIoLoop::AddTimer(int ms, Task task) {
    const TimerId id = m_nextTimer++;
    const auto due = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    m_timers.emplace(due, std::make_pair(id, std::move(task)));
    m_timerDue[id] = due;
    return id;
}

void CvNbtIoLoop::CancelTimer(TimerId id) {
    auto due = m_timerDue.find(id);
    if (due == m_timerDue.end()) {
        return;
    }
    auto [first, last] = m_timers.equal_range(due->second);
    for (auto it = first; it != last; ++it) {
        if (it->second.first == id) {
            m_timers.erase(it);
            break;
        }
    }
    m_timerDue.erase(due);
}

int CvNbtIoLoop::NextTimeoutMs() const {
    if (m_timers.empty()) {
        return -1;
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_timers.begin()->first - Clock::now());
    // Round up so that a timer is never polled for too early in a busy loop.
    return wait.count() < 0 ? 0 : static_cast<int>(wait.count()) + 1;
}

void CvNbtIoLoop::RunPostedTasks() {
    std::vector<Task> tasks;
    {
        std::lock_guard guard(m_postLock);
        tasks.swap(m_posted);
    }
    for (auto& task : tasks) {
        task();
    }
}

void CvNbtIoLoop::RunDueTimers() {
    const auto now = Clock::now();
    while (!m_timers.empty() && m_timers.begin()->first <= now) {
        auto node = m_timers.extract(m_timers.begin());
        m_timerDue.erase(node.mapped().first);
        node.mapped().second();
    }
}

void CvNbtIoLoop::Run() {
    m_threadId = std::this_thread::get_id();
    std::vector<pollfd> fds;
    std::vector<uint64_t> generations;
    for (;;) {
        RunPostedTasks();
        RunDueTimers();
        {
            std::lock_guard guard(m_postLock);
            if (m_stopping && m_posted.empty()) {
                break;
            }
        }
        fds.assign(1, pollfd{m_wakeRead, POLLIN, 0});
        generations.assign(1, 0);
        for (const auto& [fd, watched] : m_watched) {
            fds.push_back(pollfd{fd, watched.events, 0});
            generations.push_back(watched.generation);
        }
        const int ready = poll(fds.data(), fds.size(), NextTimeoutMs());
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[0].revents != 0) {
            char drain[64];
            while (read(m_wakeRead, drain, sizeof drain) > 0) {
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            // The handler may have been removed or replaced by an earlier one.
            auto it = m_watched.find(fds[i].fd);
            if (it == m_watched.end() || it->second.generation != generations[i]) {
                continue;
            }
            FdHandler handler = it->second.handler;
            handler(fds[i].revents);
        }
    }
    m_threadId = std::thread::id();
}
