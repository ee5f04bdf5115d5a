#include "host/services/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tavik {

void ParallelFor(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work) {
    if (count == 0) return;
    const std::size_t workers = std::clamp<std::size_t>(threads, 1, count);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto run = [&] {
        for (;;) {
            if (failed.load(std::memory_order_relaxed)) return;
            const std::size_t index = next.fetch_add(1, std::memory_order_relaxed);
            if (index >= count) return;
            try {
                work(index);
            } catch (...) {
                const std::lock_guard lock(failureMutex);
                if (!failure) failure = std::current_exception();
                failed = true;
                return;
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        helpers.reserve(workers - 1);
        for (std::size_t i = 1; i < workers; ++i) helpers.emplace_back(run);
        run();
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace tavik
