// The thread that ends GenICam cameras and streams: Aravis's teardown of a
// camera that no longer answers blocks for seconds, which the host's calls
// must not. It is started on the first job and joined when the plug-in is
// unloaded, so that no thread runs in unloaded code.
#include "genicam/GenicamDevice.h"

#include <boost/thread/locks.hpp>

#include <deque>

namespace {

class Teardown {
public:
    ~Teardown() {
        boost::thread worker;
        {
            boost::lock_guard<boost::mutex> lock(m_mutex);
            m_closing = true;
            worker.swap(m_worker);
        }
        m_changed.notify_all();
        if (worker.joinable()) worker.join();
    }

    void Run(std::function<void()> job) {
        {
            boost::lock_guard<boost::mutex> lock(m_mutex);
            m_jobs.push_back(std::move(job));
            if (!m_worker.joinable()) m_worker = boost::thread([this] { Work(); });
        }
        m_changed.notify_all();
    }

    bool WaitIdle(std::chrono::milliseconds limit) {
        boost::unique_lock<boost::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, boost::chrono::milliseconds(limit.count()),
                                  [this] { return m_jobs.empty() && !m_busy; });
    }

private:
    void Work() {
        boost::unique_lock<boost::mutex> lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_closing || !m_jobs.empty(); });
            // Jobs queued before the unload still run: each releases a camera.
            if (m_jobs.empty()) return;
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_busy = true;
            lock.unlock();
            job();
            job = nullptr; // what the job holds goes on this thread too
            lock.lock();
            m_busy = false;
            m_changed.notify_all();
        }
    }

    boost::mutex m_mutex;
    boost::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
    boost::thread m_worker;
    bool m_busy = false;
    bool m_closing = false;
};

Teardown& TheTeardown() {
    static Teardown teardown;
    return teardown;
}

} // namespace

void RunOffThread(std::function<void()> job) {
    TheTeardown().Run(std::move(job));
}

bool WaitIdle(std::chrono::milliseconds limit) {
    return TheTeardown().WaitIdle(limit);
}
