// Many short camera sessions as a careless host drives them: double starts,
// reopening and deleting while the acquisition thread runs. SOAK_CYCLES sets
// the number of cycles (200 by default; 10000 for a long run by hand).
#include "grabber/GrabberEntryPoints.h"
#include "tests/grabber/GrabberTestSupport.h"

#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace grabber_test;

namespace {

int Cycles() {
    const char* text = std::getenv("SOAK_CYCLES");
    return text != nullptr ? std::max(1, std::atoi(text)) : 200;
}

int ThreadsOfThisProcess() {
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return -1;
    int count = 0;
    while (dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
    closedir(tasks);
    return count;
}

class AcquisitionSoak : public ::testing::Test {
protected:
    // A waiting copy returns once the loop has counted a new frame.
    void ExpectFrameCounted(Probe& grabber, int cycle) {
        grabber.CopyImage(0, frame.data(), true);
        ASSERT_GT(grabber.frameCounter.load(), 0u) << "cycle " << cycle;
    }
    // Stops as the host does, after live video, and ends the threads.
    void Stop(Probe& grabber, std::vector<boost::thread*> threads) {
        grabber.StopLive();
        slowestStopMs = std::max(slowestStopMs, MillisecondsOf([&] { grabber.StopAcquisition(); }));
        for (boost::thread* thread : threads) {
            thread->join();
            delete thread;
        }
    }

    SimulatedCameraScope camera{16, 8, 1000};
    TempWorkingDirectory dir;
    CerrCapture err; // "start Live" on every cycle
    std::vector<unsigned char> frame = std::vector<unsigned char>(16 * 8);
    long long slowestStopMs = 0;
};

} // namespace

TEST_F(AcquisitionSoak, SessionsKeepCountingAndLeaveNothingBehind) {
    const int cycles = Cycles();
    int threadsAfterFirstCycle = 0; // counted then: sanitizers start threads of their own
    for (int cycle = 0; cycle < cycles; ++cycle) {
        Probe* grabber = new Probe("soak.ini");
        grabber->OpenCamera(0);
        boost::thread* thread = grabber->StartAcquisition();
        grabber->StartLive();
        ExpectFrameCounted(*grabber, cycle);
        switch (cycle % 4) {
        case 0: // the host's order
            Stop(*grabber, {thread});
            grabber->CloseCamera(0);
            break;
        case 1: { // started twice: one loop counts, both threads end
            boost::thread* second = grabber->StartAcquisition();
            ExpectFrameCounted(*grabber, cycle);
            EXPECT_EQ(grabber->activeLoops.load(), 1);
            Stop(*grabber, {thread, second});
            grabber->CloseCamera(0);
            break;
        }
        case 2: // reopened while acquiring: the loop follows the new camera
            grabber->CloseCamera(0);
            grabber->OpenCamera(0);
            grabber->StartLive();
            ExpectFrameCounted(*grabber, cycle);
            Stop(*grabber, {thread});
            grabber->CloseCamera(0);
            break;
        case 3: // deleted while acquiring: the destructor ends the loop
            DeleteGrabber(grabber);
            grabber = nullptr;
            thread->join();
            delete thread;
            break;
        }
        if (grabber != nullptr) DeleteGrabber(grabber);
        if (HasFatalFailure()) return;
        if (cycle == 0) threadsAfterFirstCycle = ThreadsOfThisProcess();
    }
    EXPECT_EQ(SimulatedCamera::OpenCameras(), 0);
    EXPECT_EQ(ThreadsOfThisProcess(), threadsAfterFirstCycle);
    EXPECT_LT(slowestStopMs, 700);
}
