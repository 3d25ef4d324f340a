// The thread that ends GenICam cameras and streams: Aravis's teardown of a
// camera that no longer answers blocks for seconds, which the host's calls
// must not. The plug-in is built not to be unloaded when it holds GenICam
// cameras (Aravis's object types cannot be unregistered either), so the
// thread's code stays in place for as long as the process runs. At exit the
// queue gets a short while to finish, which a camera that answers needs to
// stop streaming and give up control; a lost camera's teardown is left to end
// with the process.
#include "genicam/GenicamDevice.h"

#include <boost/thread/locks.hpp>

#include <deque>

namespace {

const std::chrono::milliseconds kExitWait(1000);

class Teardown {
public:
    void Run(std::function<void()> job) {
        {
            boost::lock_guard<boost::mutex> lock(mutex);
            jobs.push_back(std::move(job));
            if (!started) {
                boost::thread([this] { Work(); }).detach();
                started = true;
            }
        }
        changed.notify_all();
    }

    bool WaitIdle(std::chrono::milliseconds limit) {
        boost::unique_lock<boost::mutex> lock(mutex);
        return changed.wait_for(lock, boost::chrono::milliseconds(limit.count()),
                                [this] { return jobs.empty() && !busy; });
    }

private:
    void Work() {
        boost::unique_lock<boost::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return !jobs.empty(); });
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            busy = true;
            lock.unlock();
            job();
            job = nullptr; // what the job holds goes on this thread too
            lock.lock();
            busy = false;
            changed.notify_all();
        }
    }

    boost::mutex mutex;
    boost::condition_variable changed;
    std::deque<std::function<void()>> jobs;
    bool started = false;
    bool busy = false;
};

Teardown& TheTeardown() {
    static Teardown* teardown = new Teardown; // its thread may outlive static objects
    return *teardown;
}

struct ExitWait {
    ~ExitWait() { TheTeardown().WaitIdle(kExitWait); }
} exitWait;

} // namespace

void RunOffThread(std::function<void()> job) {
    TheTeardown().Run(std::move(job));
}

bool WaitIdle(std::chrono::milliseconds limit) {
    return TheTeardown().WaitIdle(limit);
}
