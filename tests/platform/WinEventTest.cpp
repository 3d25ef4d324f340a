#include "platform/WinEvent.h"

#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

TEST(WinEvent, ManualResetStaysSignalledUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 20), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(WinEvent, AutoResetReleasesOneWait) {
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(WinEvent, WaitEndsWhenAnotherThreadSets) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    boost::thread setter([event] {
        boost::this_thread::sleep_for(boost::chrono::milliseconds(20));
        SetEvent(event);
    });
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    setter.join();
    CloseHandle(event);
}

TEST(WinEvent, ClosedHandlesAreRefused) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_FALSE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_FALSE(CloseHandle(event));
}

#if !defined(_WIN32)
// Windows has named events; the stand-in event table does not.
TEST(WinEvent, NamedEventsAreRefusedOutsideWindows) {
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "named"), nullptr);
}
#endif
