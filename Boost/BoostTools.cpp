// BoostTools: the grabber's small helpers over Boost.Thread.

#include "Boost/BoostTools.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/thread/thread.hpp>

void BoostTools::delay(uint32_t milliseconds) {
    const boost::posix_time::ptime until =
        boost::posix_time::microsec_clock::universal_time() +
        boost::posix_time::milliseconds(static_cast<int64_t>(milliseconds));
    boost::this_thread::sleep(until);
}
