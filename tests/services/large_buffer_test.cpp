// Buffers for whole entries: they grow to what is asked, keep their room for smaller requests,
// and hand their memory over when moved.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "host/services/large_buffer.h"

namespace tavik {
namespace {

TEST(LargeBuffer, GrowsToWhatIsAskedAndKeepsItsRoomForLess) {
    TLargeBuffer buffer;
    EXPECT_EQ(buffer.Data(), nullptr);
    std::uint8_t* small = buffer.Room(1000);
    ASSERT_NE(small, nullptr);
    EXPECT_GE(buffer.Capacity(), 1000u);
    std::fill_n(small, 1000, 0x5A);

    // Beyond 2 MiB: taken from the kernel in whole pages, every byte writable.
    const std::size_t large = (std::size_t{5} << 20) + 123;
    std::uint8_t* room = buffer.Room(large);
    ASSERT_NE(room, nullptr);
    EXPECT_GE(buffer.Capacity(), large);
    EXPECT_EQ(buffer.Capacity() % 4096, 0u);
    std::fill_n(room, large, 0xA5);
    EXPECT_EQ(room[0], 0xA5);
    EXPECT_EQ(room[large - 1], 0xA5);

    // Less than it holds: the same memory, with what is in it.
    EXPECT_EQ(buffer.Room(4096), room);
    EXPECT_EQ(buffer.Room(0), room);
    EXPECT_EQ(room[large - 1], 0xA5);
}

TEST(LargeBuffer, AMovedBufferHandsItsMemoryOver) {
    TLargeBuffer first;
    std::uint8_t* room = first.Room(std::size_t{3} << 20);
    room[0] = 7;
    TLargeBuffer second(std::move(first));
    EXPECT_EQ(first.Data(), nullptr);
    EXPECT_EQ(first.Capacity(), 0u);
    EXPECT_EQ(second.Data(), room);
    TLargeBuffer third;
    third.Room(10);
    third = std::move(second);
    EXPECT_EQ(third.Data(), room);
    EXPECT_EQ(third.Data()[0], 7);
    EXPECT_EQ(second.Data(), nullptr);
}

}  // namespace
}  // namespace tavik
