#pragma once
// The one worker loop of the engine: the matrix's pairs and the sweep's
// values are each worked out on their own, into their own slot, so any
// number of threads gives the same results.

#include <cstddef>
#include <functional>

namespace karnwick {

// Calls work(i) for every i from 0 to count - 1 on `threads` threads (at
// least 1; one means the calling thread alone), the calling thread among
// them, handing out `batch` indexes at a time. The calling thread calls
// progress(done) as batches finish, done only rising (to count when nothing
// failed), and returns the moment the last one is done: it waits on the
// workers, never on a clock. The first exception thrown by a work item on
// any thread, or by progress (which is how a caller cancels), stops the
// handing out of batches; once every thread has finished its batch in hand,
// it is rethrown here.
void parallelFor(std::size_t count, int threads, std::size_t batch,
                 const std::function<void(std::size_t index)>& work,
                 const std::function<void(std::size_t done)>& progress = {});

}  // namespace karnwick
