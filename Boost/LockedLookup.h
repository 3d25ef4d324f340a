#pragma once

#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>

// Looks a key up in a map of shared pointers while holding the mutex that
// guards the map, and hands out a copy of the pointer, so that the object
// stays alive after the lock is released even if the entry is erased. A
// missing key gives a null pointer.
template <typename Map, typename Key>
typename Map::mapped_type LockedLookup(boost::mutex& mutex, const Map& map, const Key& key) {
    boost::lock_guard<boost::mutex> lock(mutex);
    const auto it = map.find(key);
    return it == map.end() ? typename Map::mapped_type() : it->second;
}
