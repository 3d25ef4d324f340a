// Events outside Windows: a process-wide table of handles, never reused, to
// event objects, each a flag guarded by a mutex and a condition variable.

#include "platform/WinEvent.h"

#if !defined(_WIN32)
#include "Boost/LockedLookup.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>

namespace {

struct EventObject {
    boost::mutex mutex;
    boost::condition_variable changed;
    bool manualReset = true;
    bool signalled = false;
};

// Handles are numbers that are never reused, so a stale handle finds nothing.
struct HandleTable {
    boost::mutex mutex;
    std::map<uintptr_t, std::shared_ptr<EventObject>> events;
    uintptr_t next = 0x100;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable; // outlives every static user
    return *table;
}

std::shared_ptr<EventObject> Find(HANDLE handle) {
    HandleTable& table = Table();
    return LockedLookup(table.mutex, table.events, reinterpret_cast<uintptr_t>(handle));
}

} // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, const char* name) {
    if (name != nullptr) return nullptr;
    auto event = std::make_shared<EventObject>();
    event->manualReset = manualReset != FALSE;
    event->signalled = initialState != FALSE;
    HandleTable& table = Table();
    boost::lock_guard<boost::mutex> lock(table.mutex);
    uintptr_t id = table.next;
    table.next += 4;
    table.events[id] = event;
    return reinterpret_cast<HANDLE>(id);
}

BOOL SetEvent(HANDLE handle) {
    std::shared_ptr<EventObject> event = Find(handle);
    if (!event) return FALSE;
    {
        boost::lock_guard<boost::mutex> lock(event->mutex);
        event->signalled = true;
    }
    event->changed.notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    std::shared_ptr<EventObject> event = Find(handle);
    if (!event) return FALSE;
    boost::lock_guard<boost::mutex> lock(event->mutex);
    event->signalled = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::shared_ptr<EventObject> event = Find(handle);
    if (!event) return WAIT_FAILED;
    boost::unique_lock<boost::mutex> lock(event->mutex);
    if (milliseconds == INFINITE) {
        while (!event->signalled) event->changed.wait(lock);
    } else {
        auto deadline =
            boost::chrono::steady_clock::now() + boost::chrono::milliseconds(milliseconds);
        while (!event->signalled) {
            if (event->changed.wait_until(lock, deadline) == boost::cv_status::timeout &&
                !event->signalled) {
                return WAIT_TIMEOUT;
            }
        }
    }
    if (!event->manualReset) event->signalled = false;
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle) {
    HandleTable& table = Table();
    boost::lock_guard<boost::mutex> lock(table.mutex);
    return table.events.erase(reinterpret_cast<uintptr_t>(handle)) == 1 ? TRUE : FALSE;
}
#endif
