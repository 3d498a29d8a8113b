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
    const std::size_t batches = (count + batch - 1) / batch;
    // The calling thread is one of the workers: with two threads one more is
    // started, and no thread sits idle waiting for the others.
    const std::size_t helpers =
        batches == 0 ? 0 : std::min(batches, static_cast<std::size_t>(std::max(threads, 1))) - 1;

    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    // Set once the calling thread has run out of batches and waits: only then
    // does a finished batch wake it, so a busy caller is never interrupted.
    std::atomic<bool> waiting{false};
    std::mutex lock;
    std::condition_variable finished;
    auto runBatch = [&]() -> bool {
        const std::size_t first = next.fetch_add(batch);
        if (first >= count) return false;
        const std::size_t last = std::min(first + batch, count);
        for (std::size_t i = first; i < last; ++i) work(i);
        done.fetch_add(last - first);
        return true;
    };
    auto help = [&] {
        while (runBatch()) {
            if (waiting.load()) {
                const std::lock_guard<std::mutex> guard(lock);
                finished.notify_one();
            }
        }
    };
    std::vector<std::jthread> pool;
    pool.reserve(helpers);
    for (std::size_t t = 0; t < helpers; ++t) pool.emplace_back(help);

    std::size_t reported = 0;
    auto report = [&](std::size_t now) {
        if (now == reported) return;
        reported = now;
        if (progress) progress(now);
    };
    while (runBatch()) report(done.load());
    std::unique_lock<std::mutex> guard(lock);
    waiting.store(true);
    while (reported < count) {
        finished.wait(guard, [&] { return done.load() != reported; });
        guard.unlock();
        report(done.load());
        guard.lock();
    }
}

}  // namespace karnwick
