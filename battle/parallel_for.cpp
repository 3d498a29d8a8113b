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

namespace {

// What the calling thread and its helpers share while one parallelFor runs:
// the next batch to hand out, the items done, and the first failure.
class SharedRun {
  public:
    SharedRun(std::size_t count, std::size_t batch, const std::function<void(std::size_t)>& work)
        : m_count(count), m_batch(batch), m_work(work) {}

    // The first exception, from a work item on any thread or from the
    // caller's progress: no batch is handed out after it, so a failed matrix
    // or a cancelled sweep does not run to its end first.
    void stop(std::exception_ptr error) {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (!m_failure) m_failure = std::move(error);
        m_stopped.store(true);
    }

    // A helper thread's whole life.
    void help() {
        try {
            while (runBatch()) {
                if (m_waiting.load()) {
                    const std::lock_guard<std::mutex> guard(m_lock);
                    m_changed.notify_one();
                }
            }
        } catch (...) {
            // An exception leaving a thread would end the whole program; the
            // caller gets it instead.
            stop(std::current_exception());
        }
        const std::lock_guard<std::mutex> guard(m_lock);
        m_working.fetch_sub(1);
        m_changed.notify_one();
    }

    void helperStarting() { m_working.fetch_add(1); }
    void helperNotStarted() { m_working.fetch_sub(1); }

    // The caller's part: batches of its own while any are left, then the
    // helpers' progress until every one has left, when `done` is final.
    void runCaller(const std::function<void(std::size_t)>& progress) {
        std::size_t reported = 0;
        auto report = [&](std::size_t now) {
            if (now == reported) return;
            reported = now;
            if (progress) progress(now);
        };
        while (runBatch()) report(m_done.load());
        std::unique_lock<std::mutex> guard(m_lock);
        // Only now does a finished batch wake the caller, so a busy caller is
        // never interrupted.
        m_waiting.store(true);
        for (;;) {
            m_changed.wait(guard,
                           [&] { return m_done.load() != reported || m_working.load() == 0; });
            const bool allLeft = m_working.load() == 0;
            guard.unlock();
            report(m_done.load());
            if (allLeft) return;
            guard.lock();
        }
    }

    void rethrowFailure() const {
        if (m_failure) std::rethrow_exception(m_failure);
    }

  private:
    bool runBatch() {
        if (m_stopped.load()) return false;
        const std::size_t first = m_next.fetch_add(m_batch);
        if (first >= m_count) return false;
        const std::size_t last = first + std::min(m_batch, m_count - first);
        for (std::size_t i = first; i < last; ++i) m_work(i);
        m_done.fetch_add(last - first);
        return true;
    }

    const std::size_t m_count;
    const std::size_t m_batch;
    const std::function<void(std::size_t)>& m_work;
    std::atomic<std::size_t> m_next{0};
    std::atomic<std::size_t> m_done{0};
    std::atomic<bool> m_stopped{false};
    std::atomic<std::size_t> m_working{0};  // helpers that have not yet left
    std::atomic<bool> m_waiting{false};     // the caller has run out of batches
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::exception_ptr m_failure;  // under m_lock
};

}  // namespace

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

    SharedRun run(count, batch, work);
    // Declared after the run the helpers share, so that however this
    // function is left they are joined before it goes.
    std::vector<std::jthread> pool;
    pool.reserve(helpers);
    for (std::size_t t = 0; t < helpers; ++t) {
        run.helperStarting();
        try {
            pool.emplace_back([&run] { run.help(); });
        } catch (const std::system_error&) {
            // The system has no more threads to give: the ones running, the
            // caller among them, do all the work.
            run.helperNotStarted();
            break;
        }
    }
    try {
        run.runCaller(progress);
    } catch (...) {
        run.stop(std::current_exception());
    }
    pool.clear();
    run.rethrowFailure();
}

}  // namespace karnwick
