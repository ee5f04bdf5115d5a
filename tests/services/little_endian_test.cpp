#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/services/little_endian.h"

namespace tavik {
namespace {

TEST(LittleEndian, WritesAndReadsBackEveryWidthWithTheLowByteFirst) {
    struct TCase {
        std::uint64_t value;
        std::size_t count;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<TCase> cases{
        {0x0201, 2, {0x01, 0x02}},
        {0xFFFF, 2, {0xFF, 0xFF}},
        {0x04034b50, 4, {0x50, 0x4b, 0x03, 0x04}},
        {0xFFFFFFFF, 4, {0xFF, 0xFF, 0xFF, 0xFF}},
        {0x0807060504030201, 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {0x8000000000000000, 8, {0, 0, 0, 0, 0, 0, 0, 0x80}},
        {0x123456, 3, {0x56, 0x34, 0x12}},
    };
    for (const TCase& c : cases) {
        std::vector<std::uint8_t> appended;
        AppendLittleEndian(appended, c.value, c.count);
        EXPECT_EQ(appended, c.bytes) << std::hex << c.value;
        std::string text;
        AppendLittleEndian(text, c.value, c.count);
        EXPECT_EQ(GetLittleEndian(text.data(), c.count), c.value) << std::hex << c.value;
        std::vector<std::uint8_t> set(c.count);
        SetLittleEndian(set.data(), c.value, c.count);
        EXPECT_EQ(set, c.bytes) << std::hex << c.value;
    }
    const std::uint8_t sig[] = {0x50, 0x4b, 0x01, 0x02, 0xAA, 0xBB, 0xCC, 0xDD};
    EXPECT_EQ(GetLittleEndian16(sig), 0x4b50);
    EXPECT_EQ(GetLittleEndian32(sig), 0x02014b50u);
    EXPECT_EQ(GetLittleEndian64(sig), 0xDDCCBBAA02014b50u);
}

}  // namespace
}  // namespace tavik
