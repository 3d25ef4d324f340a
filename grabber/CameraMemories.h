#pragma once

#include "grabber/UeyeSdk.h"
#include "platform/WinEvent.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <set>

// What a camera behind the SDK table keeps for its host: the image memories
// it allocates and frees itself, the one that frames are written into, and
// the frame events to set after each frame. The camera guards it with its own
// lock; every member must be called with that lock held.
class CameraMemories {
public:
    struct Memory {
        std::unique_ptr<unsigned char[]> bytes;
        int32_t width = 0;
        int32_t height = 0;
        int32_t bytesPerPixel = 1;
    };

    // Largest image memory handed out: a bad size is refused, not attempted.
    static const size_t kLargest = size_t(1) << 30;

    // A zeroed memory of width x height pixels of bitsPerPixel (8, 16, 24 or
    // 32); false for a bad size or when memory runs out.
    bool Allocate(int32_t width, int32_t height, int32_t bitsPerPixel, unsigned char** memory,
                  int32_t* memoryId) {
        if (memory == nullptr || memoryId == nullptr || width <= 0 || height <= 0 ||
            bitsPerPixel <= 0 || bitsPerPixel > 32 || bitsPerPixel % 8 != 0) {
            return false;
        }
        Memory block;
        block.width = width;
        block.height = height;
        block.bytesPerPixel = bitsPerPixel / 8;
        const size_t size = size_t(width) * size_t(height) * size_t(block.bytesPerPixel);
        if (size > kLargest) return false;
        block.bytes.reset(new (std::nothrow) unsigned char[size]());
        if (!block.bytes) return false;
        const int32_t id = nextId++;
        *memory = block.bytes.get();
        *memoryId = id;
        memories[id] = std::move(block);
        return true;
    }

    // False when the id and the address do not name one memory.
    bool Activate(unsigned char* memory, int32_t memoryId) {
        if (Find(memory, memoryId) == nullptr) return false;
        activeId = memoryId;
        return true;
    }

    bool Free(unsigned char* memory, int32_t memoryId) {
        if (Find(memory, memoryId) == nullptr) return false;
        if (activeId == memoryId) activeId = 0;
        memories.erase(memoryId);
        return true;
    }

    // The memory frames go into; null when none is active.
    Memory* Active() {
        auto it = memories.find(activeId);
        return it == memories.end() ? nullptr : &it->second;
    }

    // A null event removes the kind's registration.
    void Register(HANDLE event, int32_t kind) {
        if (event == nullptr) {
            events.erase(kind);
        } else {
            events[kind] = event;
        }
    }

    void Enable(int32_t kind) { enabled.insert(kind); }

    // Sets every registered and enabled event; true when at least one was.
    bool SignalFrame() const {
        bool signalled = false;
        for (const auto& registered : events) {
            if (enabled.count(registered.first) != 0) {
                SetEvent(registered.second);
                signalled = true;
            }
        }
        return signalled;
    }

private:
    Memory* Find(unsigned char* memory, int32_t memoryId) {
        auto it = memories.find(memoryId);
        if (it == memories.end() || it->second.bytes.get() != memory) return nullptr;
        return &it->second;
    }

    std::map<int32_t, Memory> memories;
    int32_t nextId = 1;
    int32_t activeId = 0;
    std::map<int32_t, HANDLE> events;
    std::set<int32_t> enabled;
};
