#pragma once

// The thread type of the library's row bands: the standard one where the
// library is built without Boost, Boost's elsewhere (every target has it,
// the Windows thread model without std::thread included).
#if defined(UEYE_IMAGE_STD_THREADS)
#include <thread>
using BandThread = std::thread;
#else
#include <boost/thread/thread.hpp>
using BandThread = boost::thread;
#endif
