// One SHA-256 object serves message after message: each Final gives that message's digest
// and starts the next from nothing.
#include <gtest/gtest.h>

#include <string>

#include "host/services/sha256.h"

namespace tavik {
namespace {

TEST(Sha256, EachFinalGivesItsOwnMessagesDigestAndStartsAnew) {
    TSha256 hash;
    hash.Update("ab", 2);
    hash.Update("c", 1);
    EXPECT_EQ(HexOf(hash.Final()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexOf(hash.Final()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    std::string large;
    for (int i = 0; i < 200'000; ++i) large += static_cast<char>(i * 7);
    hash.Update(large.data(), large.size());
    EXPECT_EQ(hash.Final(), Sha256Of(large.data(), large.size()));
    hash.Update("abc", 3);
    EXPECT_EQ(HexOf(hash.Final()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    TSha256 moved(std::move(hash));
    moved.Update("abc", 3);
    EXPECT_EQ(HexOf(moved.Final()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
}  // namespace tavik
