#include "battle/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace karnwick {

void parallelFor(std::size_t count, int threads, std::size_t batch,
                 const std::function<void(std::size_t index)>& work,
                 const std::function<void(std::size_t done)>& progress) {
    batch = std::max<std::size_t>(batch, 1);
    const auto workers = static_cast<std::size_t>(std::clamp<std::size_t>(
        (count + batch - 1) / batch, 0, static_cast<std::size_t>(std::max(threads, 1))));
    if (workers <= 1) {
        // No thread is worth starting: the calling thread does it all.
        for (std::size_t first = 0; first < count; first += batch) {
            const std::size_t last = std::min(first + batch, count);
            for (std::size_t i = first; i < last; ++i) work(i);
            if (progress) progress(last);
        }
        return;
    }

    std::atomic<std::size_t> next{0};
    std::mutex lock;
    std::condition_variable finished;
    std::size_t done = 0;
    auto run = [&] {
        for (std::size_t first = next.fetch_add(batch); first < count;
             first = next.fetch_add(batch)) {
            const std::size_t last = std::min(first + batch, count);
            for (std::size_t i = first; i < last; ++i) work(i);
            {
                const std::lock_guard<std::mutex> guard(lock);
                done += last - first;
            }
            finished.notify_one();
        }
    };
    std::vector<std::jthread> pool;
    pool.reserve(workers);
    for (std::size_t t = 0; t < workers; ++t) pool.emplace_back(run);
    std::size_t reported = 0;
    std::unique_lock<std::mutex> guard(lock);
    while (reported < count) {
        finished.wait(guard, [&] { return done != reported; });
        reported = done;
        if (progress) {
            guard.unlock();
            progress(reported);
            guard.lock();
        }
    }
}

}  // namespace karnwick
