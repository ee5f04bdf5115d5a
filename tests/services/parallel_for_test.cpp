// Work spread over threads: every index is done exactly once whatever the number of threads,
// and a failure of one piece reaches the caller after all threads have stopped.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "host/services/parallel_for.h"

namespace {

TEST(ParallelFor, EveryIndexExactlyOnce) {
    const struct {
        std::size_t Count;
        unsigned Threads;
    } cases[] = {{0, 4}, {1, 32}, {7, 1}, {1000, 0}, {1000, 3}, {5000, 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Count << " on " << c.Threads);
        std::vector<std::atomic<int>> done(c.Count);
        tavik::ParallelFor(c.Count, c.Threads, [&](std::size_t i) { ++done.at(i); });
        for (std::size_t i = 0; i < c.Count; ++i) EXPECT_EQ(done[i].load(), 1) << i;
    }
}

TEST(ParallelFor, AFailureReachesTheCallerAndStopsTheRest) {
    // On one thread the indices after the failed one are never begun. On several, how many
    // others begin before the failure is seen depends on how the threads are scheduled (on a
    // loaded machine all of them may have): there only the failure reaching the caller is sure.
    for (const unsigned threads : {1u, 8u}) {
        SCOPED_TRACE(threads);
        std::atomic<int> begun{0};
        try {
            tavik::ParallelFor(100'000, threads, [&](std::size_t i) {
                ++begun;
                if (i == 10) throw std::runtime_error("Eintrag 10");
            });
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Eintrag 10");
        }
        if (threads == 1) {
            EXPECT_EQ(begun.load(), 11);
        }
    }
}

}  // namespace
