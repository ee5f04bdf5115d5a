#pragma once
// Runs one piece of work per index on a few threads. For work that waits on the disk rather
// than the processor (unlinking, looking at files), so more threads than processors pay off.
#include <cstddef>
#include <functional>

namespace tavik {

// Calls work(i) for every i in [0, count), each exactly once, on up to `threads` threads (the
// calling thread among them), and returns when all are done. The first exception thrown by any
// call is rethrown here; the indices not yet begun are then skipped.
void ParallelFor(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work);

}  // namespace tavik
