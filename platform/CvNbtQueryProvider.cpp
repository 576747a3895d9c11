#include "platform/CvNbtQueryProvider.h"

#include <algorithm>
#include <vector>

#include "platform/CvEvent.h"

namespace {

std::optional<CvIpAdapter> FindAdapter(uint8_t lana) {
    for (const auto& adapter : CvEnumerateIpAdapters()) {
        if (adapter.lana == lana) {
            return adapter;
        }
    }
    return std::nullopt;
}

uint8_t Finish(CvNcb& ncb, uint8_t code) {
    ncb.retcode = code;
    ncb.cmdCplt = code;
    if ((ncb.command & kNcbAsync) != 0 && ncb.event != nullptr) {
        ncb.event->Set();
    }
    return code;
}

}  // namespace

CvNbtQueryProvider::~CvNbtQueryProvider() {
    std::map<CvNcb*, std::unique_ptr<Job>> jobs;
    {
        std::lock_guard guard(m_lock);
        jobs.swap(m_jobs);
    }
    for (auto& [ncb, job] : jobs) {
        job->cancelled = true;
        Complete(*ncb, *job, kNrcCmdCan);
        job->thread.join();
    }
}

uint8_t CvNbtQueryProvider::Submit(CvNcb& ncb) {
    Reap();
    const uint8_t command = ncb.command & static_cast<uint8_t>(~kNcbAsync);
    const bool async = (ncb.command & kNcbAsync) != 0;
    if (ncb.event != nullptr) {
        ncb.event->Reset();
    }
    if (command == kNcbEnum) {
        if (ncb.buffer == nullptr || ncb.length == 0) {
            return Finish(ncb, kNrcBufLen);
        }
        const auto adapters = CvEnumerateIpAdapters();
        const size_t count = std::min<size_t>(adapters.size(), ncb.length - 1u);
        ncb.buffer[0] = static_cast<uint8_t>(count);
        for (size_t i = 0; i < count; ++i) {
            ncb.buffer[1 + i] = adapters[i].lana;
        }
        return Finish(ncb, kNrcGoodRet);
    }
    if (command == kNcbCancel) {
        if (ncb.cancelTarget == nullptr) {
            return Finish(ncb, kNrcCancel);
        }
        std::unique_ptr<Job> job;
        {
            std::lock_guard guard(m_lock);
            auto it = m_jobs.find(ncb.cancelTarget);
            if (it != m_jobs.end()) {
                job = std::move(it->second);
                m_jobs.erase(it);
            }
        }
        if (!job) {
            return Finish(ncb, kNrcCanOccr);
        }
        job->cancelled = true;
        bool pending = false;
        {
            std::lock_guard guard(job->lock);
            pending = !job->completed;
        }
        Complete(*ncb.cancelTarget, *job, kNrcCmdCan);
        job->thread.join();
        return Finish(ncb, pending ? kNrcGoodRet : kNrcCanOccr);
    }
    const auto adapter = FindAdapter(ncb.lana);
    if (!adapter) {
        return Finish(ncb, kNrcBridge);
    }
    if (command == kNcbReset) {
        return Finish(ncb, kNrcGoodRet);
    }
    if (command != kNcbAdapterStatus) {
        return Finish(ncb, kNrcIllCmd);
    }
    if (ncb.callname[0] == '*') {
        return Finish(ncb, CvAdapterStatus().Encode(ncb.buffer, ncb.length));
    }
    ncb.retcode = kNrcPending;
    ncb.cmdCplt = kNrcPending;
    auto job = std::make_unique<Job>();
    Job& running = *job;
    running.async = async;
    {
        std::lock_guard guard(m_lock);
        m_jobs[&ncb] = std::move(job);
        running.thread = std::thread(
            [this, &ncb, &running, adapter = *adapter] { RunStatus(ncb, running, adapter); });
    }
    if (async) {
        return kNrcPending;
    }
    std::unique_ptr<Job> finished;
    running.thread.join();
    {
        std::lock_guard guard(m_lock);
        auto it = m_jobs.find(&ncb);
        if (it != m_jobs.end()) {
            finished = std::move(it->second);
            m_jobs.erase(it);
        }
    }
    return ncb.retcode;
}

void CvNbtQueryProvider::RunStatus(CvNcb& ncb, Job& job, CvIpAdapter adapter) {
    const auto stopped = [&job] { return job.cancelled.load(); };
    auto name = NbtName::FromRaw(std::string_view(reinterpret_cast<const char*>(ncb.callname), 16));
    if (!name) {
        Complete(ncb, job, kNrcNoWild);
        return;
    }
    const auto holders =
        m_client.Query(adapter, name.Value(), kBcastSends, kBcastIntervalMs, true, stopped);
    if (holders.empty()) {
        Complete(ncb, job, kNrcCmdTmo);
        return;
    }
    const auto status =
        m_client.NodeStatus(adapter, holders.front(), kStatusSends, kStatusIntervalMs, stopped);
    if (!status) {
        Complete(ncb, job, kNrcCmdTmo);
        return;
    }
    const CvAdapterStatus table = CvNbtNameClient::ToAdapterStatus(*status);
    std::lock_guard guard(job.lock);
    if (job.completed) {
        return;
    }
    job.completed = true;
    Finish(ncb, table.Encode(ncb.buffer, ncb.length));
}

void CvNbtQueryProvider::Complete(CvNcb& ncb, Job& job, uint8_t code) {
    std::lock_guard guard(job.lock);
    if (job.completed) {
        return;
    }
    job.completed = true;
    Finish(ncb, code);
}

void CvNbtQueryProvider::Reap() {
    std::vector<std::unique_ptr<Job>> done;
    {
        std::lock_guard guard(m_lock);
        for (auto it = m_jobs.begin(); it != m_jobs.end();) {
            bool completed = false;
            {
                std::lock_guard jobGuard(it->second->lock);
                completed = it->second->completed;
            }
            // Only asynchronous jobs are reaped here; a synchronous submitter
            // joins its own.
            if (completed && it->second->async) {
                done.push_back(std::move(it->second));
                it = m_jobs.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& job : done) {
        job->thread.join();
    }
}
