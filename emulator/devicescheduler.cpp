#include <emulator/devicescheduler.h>

#include <algorithm>

namespace emulator {

DeviceScheduler::~DeviceScheduler()
{
    stop();
}

void DeviceScheduler::after(std::chrono::microseconds delay, std::function<void()> job)
{
    add({Clock::now() + delay, std::chrono::microseconds::zero(), std::move(job)});
}

void DeviceScheduler::every(std::chrono::microseconds period, std::function<void()> job)
{
    add({Clock::now() + period, period, std::move(job)});
}

void DeviceScheduler::add(Job job)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping)
        return;
    jobs.push_back(std::move(job));
    if (!worker.joinable())
        worker = std::thread(&DeviceScheduler::loop, this);
    changed.notify_all();
}

void DeviceScheduler::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        jobs.clear();
        changed.notify_all();
    }
    if (worker.joinable() && worker.get_id() != std::this_thread::get_id())
        worker.join();
}

void DeviceScheduler::loop()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        if (jobs.empty()) {
            changed.wait(lock);
            continue;
        }
        const auto next = std::min_element(
            jobs.begin(), jobs.end(), [](const Job &a, const Job &b) { return a.due < b.due; });
        // A copy: the wait lets other threads add jobs, which may move the vector.
        const Clock::time_point due = next->due;
        if (Clock::now() < due) {
            changed.wait_until(lock, due);
            continue;
        }
        std::function<void()> work = next->work;
        if (next->period.count() > 0)
            next->due += next->period; // keeps the rate even when a run is late
        else
            jobs.erase(next);
        lock.unlock();
        work();
        lock.lock();
    }
}

} // namespace emulator
