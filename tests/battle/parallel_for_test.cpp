// The worker loop under stress: every index exactly once whatever the
// threads and batches, progress only rising and only on the calling thread,
// and an exception from any thread reaching the caller once every thread has
// stopped, instead of ending the program.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "battle/parallel_for.h"
#include "data/errors.h"

using namespace karnwick;

namespace {

// What one run did: how often each index was worked on, by which threads,
// and the progress the caller saw.
struct LoopRun {
    std::unique_ptr<std::atomic<int>[]> calls;
    std::mutex threadsLock;
    std::set<std::thread::id> threads;
    std::vector<std::size_t> progress;
    bool progressOffCaller = false;

    explicit LoopRun(std::size_t count) : calls(new std::atomic<int>[count + 1]()) {}

    void go(std::size_t count, int threadCount, std::size_t batch) {
        const std::thread::id caller = std::this_thread::get_id();
        parallelFor(
            count, threadCount, batch,
            [&](std::size_t i) {
                calls[i].fetch_add(1);
                const std::lock_guard<std::mutex> guard(threadsLock);
                threads.insert(std::this_thread::get_id());
            },
            [&](std::size_t done) {
                progressOffCaller = progressOffCaller || std::this_thread::get_id() != caller;
                progress.push_back(done);
            });
    }
};

}  // namespace

// Every index once, progress on the calling thread alone, strictly rising
// to the count (none for no items), and no more threads than batches: over
// odd counts, thread numbers and batches, and a hundred thousand batches of
// one fought over by more threads than cores.
TEST(ParallelFor, EveryIndexOnceProgressRisingToTheCount) {
    constexpr std::size_t kHuge = std::numeric_limits<std::size_t>::max();
    std::vector<std::tuple<std::size_t, int, std::size_t>> runs(3, {100000, 6, 1});
    for (const std::size_t count : {0u, 1u, 7u, 1000u})
        for (const int threads : {-3, 1, 2, 8, 64})
            for (const std::size_t batch :
                 {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{1000}, kHuge})
                runs.emplace_back(count, threads, batch);
    for (const auto& [count, threads, batch] : runs) {
        SCOPED_TRACE(std::to_string(count) + " items, " + std::to_string(threads) +
                     " threads, batch " + std::to_string(batch));
        LoopRun run(count);
        run.go(count, threads, batch);
        for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(run.calls[i].load(), 1) << i;
        EXPECT_FALSE(run.progressOffCaller);
        const std::size_t batches =
            count == 0 ? 0 : (count - 1) / std::max<std::size_t>(batch, 1) + 1;
        EXPECT_LE(run.threads.size(),
                  std::min<std::size_t>(batches, static_cast<std::size_t>(std::max(threads, 1))));
        EXPECT_EQ(run.progress.empty() ? 0 : run.progress.back(), count);
        for (std::size_t p = 1; p < run.progress.size(); ++p)
            ASSERT_LT(run.progress[p - 1], run.progress[p]);
    }
}

// Long enough for the helpers to start before the caller has done every item.
// Windows' runtime sleeps in whole milliseconds and rounds less down to none.
#ifdef _WIN32
constexpr auto kItemTime = std::chrono::milliseconds(1);
#else
constexpr auto kItemTime = std::chrono::microseconds(100);
#endif

// A work item that throws, on a helper or on the calling thread, or progress
// that throws (a cancel): the caller gets that very exception, no batch is
// handed out after it, and no thread is still working once it arrives.
TEST(ParallelFor, AnExceptionReachesTheCallerAfterEveryThreadStopped) {
    constexpr std::size_t kCount = 4000;
    enum class From { HelperGameError, HelperStdError, Caller, Progress };
    for (const From from :
         {From::HelperGameError, From::HelperStdError, From::Caller, From::Progress}) {
        SCOPED_TRACE(static_cast<int>(from));
        const std::thread::id caller = std::this_thread::get_id();
        std::atomic<std::size_t> calls{0};
        std::atomic<int> inside{0};
        std::atomic<bool> thrown{false};
        auto work = [&](std::size_t i) {
            inside.fetch_add(1);
            calls.fetch_add(1);
            const bool onCaller = std::this_thread::get_id() == caller;
            // The first item past 100 on the chosen kind of thread fails.
            if (i >= 100 && (from == From::Caller) == onCaller && from != From::Progress &&
                !thrown.exchange(true)) {
                inside.fetch_sub(1);
                if (from == From::HelperGameError)
                    throw GameError(ErrorKind::Overflow, "pair " + std::to_string(i));
                throw std::length_error("item " + std::to_string(i));
            }
            std::this_thread::sleep_for(kItemTime);
            inside.fetch_sub(1);
        };
        auto progress = [&](std::size_t done) {
            if (from == From::Progress && done >= 100) throw std::runtime_error("cancelled");
        };
        try {
            parallelFor(kCount, 4, 1, work, progress);
            ADD_FAILURE() << "no exception";
        } catch (const GameError& e) {
            EXPECT_EQ(from, From::HelperGameError);
            EXPECT_TRUE(std::string(e.what()).starts_with("pair ")) << e.what();
        } catch (const std::length_error& e) {
            EXPECT_TRUE(from == From::HelperStdError || from == From::Caller);
            EXPECT_TRUE(std::string(e.what()).starts_with("item ")) << e.what();
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(from, From::Progress);
            EXPECT_STREQ(e.what(), "cancelled");
        }
        EXPECT_EQ(inside.load(), 0);
        const std::size_t atReturn = calls.load();
        EXPECT_LT(atReturn, kCount / 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(calls.load(), atReturn) << "a thread went on after the caller got the exception";
    }
}
