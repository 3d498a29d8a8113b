#include "battle/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace karnwick {

void parallelFor(std::size_t count, int threads, std::size_t batch,
                 const std::function<void(std::size_t index)>& work,
                 const std::function<void(std::size_t done)>& progress) {
    // A batch never reaches past the end, so handing out the next one cannot
    // wrap the counter whatever batch the caller asks for.
    batch = std::clamp<std::size_t>(batch, 1, std::max<std::size_t>(count, 1));
    const std::size_t batches = count / batch + (count % batch != 0);
    // The calling thread is one of the workers: with two threads one more is
    // started, and no thread sits idle waiting for the others.
    const std::size_t helpers =
        batches == 0 ? 0 : std::min(batches, static_cast<std::size_t>(std::max(threads, 1))) - 1;

    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    // Set by the first exception, from a work item on any thread or from the
    // caller's progress: no batch is handed out after it, so a failed matrix
    // or a cancelled sweep does not run to its end first.
    std::atomic<bool> stopped{false};
    // Helpers that have not yet left: once none is left, `done` is final.
    std::atomic<std::size_t> working{0};
    // Set once the calling thread has run out of batches and waits: only then
    // does a finished batch wake it, so a busy caller is never interrupted.
    std::atomic<bool> waiting{false};
    std::mutex lock;
    std::condition_variable changed;
    std::exception_ptr failure;  // the first exception, under `lock`

    auto stop = [&](std::exception_ptr error) {
        const std::lock_guard<std::mutex> guard(lock);
        if (!failure) failure = std::move(error);
        stopped.store(true);
    };
    auto runBatch = [&]() -> bool {
        if (stopped.load()) return false;
        const std::size_t first = next.fetch_add(batch);
        if (first >= count) return false;
        const std::size_t last = first + std::min(batch, count - first);
        for (std::size_t i = first; i < last; ++i) work(i);
        done.fetch_add(last - first);
        return true;
    };
    auto help = [&] {
        try {
            while (runBatch()) {
                if (waiting.load()) {
                    const std::lock_guard<std::mutex> guard(lock);
                    changed.notify_one();
                }
            }
        } catch (...) {
            // An exception leaving a thread would end the whole program; the
            // caller gets it instead.
            stop(std::current_exception());
        }
        const std::lock_guard<std::mutex> guard(lock);
        working.fetch_sub(1);
        changed.notify_one();
    };

    // Declared after everything the helpers use, so that however this
    // function is left they are joined before any of it goes.
    std::vector<std::jthread> pool;
    pool.reserve(helpers);
    for (std::size_t t = 0; t < helpers; ++t) {
        working.fetch_add(1);
        try {
            pool.emplace_back(help);
        } catch (const std::system_error&) {
            // The system has no more threads to give: the ones running, the
            // caller among them, do all the work.
            working.fetch_sub(1);
            break;
        }
    }

    std::size_t reported = 0;
    auto report = [&](std::size_t now) {
        if (now == reported) return;
        reported = now;
        if (progress) progress(now);
    };
    try {
        while (runBatch()) report(done.load());
        std::unique_lock<std::mutex> guard(lock);
        waiting.store(true);
        for (;;) {
            changed.wait(guard, [&] { return done.load() != reported || working.load() == 0; });
            const bool allLeft = working.load() == 0;
            guard.unlock();
            report(done.load());
            if (allLeft) break;
            guard.lock();
        }
    } catch (...) {
        stop(std::current_exception());
    }
    pool.clear();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace karnwick
