// Two SHA-256 computations advanced together give each exactly the digest that OpenSSL gives
// its bytes alone, wherever either stands in its block when they meet and however many bytes
// they take together. On a processor without the SHA extensions the same holds, one after the
// other.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "host/services/sha256_lanes.h"

namespace tavik {
namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

struct TLaneCase {
    std::size_t beforeA;  // bytes each lane takes alone first
    std::size_t beforeB;
    std::size_t together;  // then both at once
    std::size_t afterA;    // then alone again
};

TEST(Sha256Lanes, EachLaneGivesTheDigestOfItsOwnBytes) {
    const std::vector<TLaneCase> cases = {
        {0, 0, 0, 0},        {0, 0, 64, 0},       {0, 0, 128, 0},     {0, 0, 127, 1},   {1, 0, 200, 0},
        {0, 63, 200, 5},     {17, 45, 4096, 3},   {63, 1, 129, 0},    {64, 64, 640, 64}, {100, 7, 130, 55},
        {5, 5, 1 << 20, 0},  {0, 31, 3'000'001, 1000},
    };
    const std::vector<std::uint8_t> a = RandomBytes(3'100'000, 1);
    const std::vector<std::uint8_t> b = RandomBytes(3'100'000, 2);
    TSha256Lane laneA, laneB;
    for (const TLaneCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.beforeA << "/" << c.beforeB << " + " << c.together << " + " << c.afterA);
        laneA.Update(a.data(), c.beforeA);
        laneB.Update(b.data(), c.beforeB);
        TSha256Lane::UpdateBoth(laneA, a.data() + c.beforeA, laneB, b.data() + c.beforeB, c.together);
        laneA.Update(a.data() + c.beforeA + c.together, c.afterA);
        // The lanes are used again for the next case: Final starts each anew.
        EXPECT_EQ(laneA.Final(), Sha256Of(a.data(), c.beforeA + c.together + c.afterA));
        EXPECT_EQ(laneB.Final(), Sha256Of(b.data(), c.beforeB + c.together));
    }
    // Many meetings in a row, as when one stream is fed along with several others.
    std::size_t at = 0;
    for (std::size_t piece : {70u, 1000u, 64u, 333u, 65536u, 1u, 4095u}) {
        TSha256Lane other;
        TSha256Lane::UpdateBoth(laneA, a.data() + at, other, b.data(), piece);
        EXPECT_EQ(other.Final(), Sha256Of(b.data(), piece));
        at += piece;
    }
    EXPECT_EQ(laneA.Final(), Sha256Of(a.data(), at));
}

}  // namespace
}  // namespace tavik
