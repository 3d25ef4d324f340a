// What every call of the C interface shares: the calling thread's error
// text, the guard that turns exceptions into statuses, and the registries
// that map handles to objects.
#pragma once

#include "capi/ueye_grabber_c.h"

#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>

#include <cstdint>
#include <memory>
#include <new>
#include <unordered_map>

namespace capi {

// Records the reason of a failure for ueye_last_error and returns status.
// The text is `what`, followed by `detail` when that is not null or empty.
int32_t Fail(int32_t status, const char* what, const char* detail = nullptr) noexcept;

// Runs a call, turning anything it throws into a status: no exception
// leaves the library.
template <typename Call> int32_t Guard(Call&& call) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return Fail(UEYE_E_NO_MEMORY, "out of memory");
    } catch (const std::exception& error) {
        return Fail(UEYE_E_INTERNAL, "unexpected failure: ", error.what());
    } catch (...) {
        return Fail(UEYE_E_INTERNAL, "unexpected failure");
    }
}

// Handle values come from one counter shared by every registry, so a handle
// of one kind is never a valid handle of another, and a freed handle is
// never given out again.
uintptr_t NextHandleValue();

// The live objects of one kind, by handle. A call holds its object through
// a shared pointer, so freeing a handle while another thread uses it ends
// the object only when that call has finished.
template <typename Object> class Registry {
public:
    uintptr_t Add(std::shared_ptr<Object> object) {
        boost::lock_guard<boost::mutex> hold(stateLock);
        const uintptr_t handle = NextHandleValue();
        objects.emplace(handle, std::move(object));
        return handle;
    }

    std::shared_ptr<Object> Find(const void* handle) {
        boost::lock_guard<boost::mutex> hold(stateLock);
        auto found = objects.find(reinterpret_cast<uintptr_t>(handle));
        return found == objects.end() ? nullptr : found->second;
    }

    // Takes the object out of the registry; null when the handle is unknown.
    std::shared_ptr<Object> Remove(const void* handle) {
        boost::lock_guard<boost::mutex> hold(stateLock);
        auto found = objects.find(reinterpret_cast<uintptr_t>(handle));
        if (found == objects.end()) return nullptr;
        std::shared_ptr<Object> object = std::move(found->second);
        objects.erase(found);
        return object;
    }

    // One registry per kind for the life of the process: never destroyed,
    // so that no object is torn down during the process's exit.
    static Registry& Instance() {
        static Registry* registry = new Registry;
        return *registry;
    }

private:
    boost::mutex stateLock;
    std::unordered_map<uintptr_t, std::shared_ptr<Object>> objects;
};

// The failure for a handle that names no live object of the kind.
int32_t BadHandle(const char* kind) noexcept;

// Checks the sizes of a caller's buffer of `rows` rows of `rowBytes` bytes,
// `stride` bytes apart, in `size` bytes; true when it is large enough, else
// the failure is recorded.
bool BufferFits(size_t rowBytes, uint64_t rows, size_t stride, size_t size);

} // namespace capi
