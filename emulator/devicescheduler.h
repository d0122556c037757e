#pragma once
// Runs the emulated device's delayed replies and periodic reports on a thread of its
// own, as a real device answers on its own time.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace emulator {

class DeviceScheduler
{
public:
    using Clock = std::chrono::steady_clock;

    DeviceScheduler() = default;
    ~DeviceScheduler();
    DeviceScheduler(const DeviceScheduler &) = delete;
    DeviceScheduler &operator=(const DeviceScheduler &) = delete;

    // Runs `job` once, `delay` from now.
    void after(std::chrono::microseconds delay, std::function<void()> job);
    // Runs `job` every `period` until stop().
    void every(std::chrono::microseconds period, std::function<void()> job);
    // Drops every pending job and ends the thread.
    void stop();

private:
    struct Job
    {
        Clock::time_point due;
        std::chrono::microseconds period; // zero for a one-off
        std::function<void()> work;
    };
    void add(Job job);
    void loop();

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Job> jobs;
    bool stopping = false;
    std::thread worker;
};

} // namespace emulator
