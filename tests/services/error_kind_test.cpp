#include "host/services/error_kind.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace tavik {
namespace {

TEST(ErrorKindOfSystemErrors, WritingAndReadingNameTheKindsTheWindowAndTheRunActOn) {
    struct TCase {
        int error;
        TErrorKind write, input, access;
    };
    using K = TErrorKind;
    const std::vector<TCase> cases{
        {ENOSPC, K::DiskFull, K::Other, K::Other},       {EDQUOT, K::DiskFull, K::Other, K::Other},
        {EFBIG, K::DiskFull, K::Other, K::Other},        {EACCES, K::NoRights, K::NoRights, K::NoRights},
        {EPERM, K::NoRights, K::NoRights, K::NoRights},  {EROFS, K::NoRights, K::NoRights, K::NoRights},
        {ENOENT, K::Other, K::InputMissing, K::Other},   {EIO, K::Other, K::Other, K::Other},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(KindOfWriteError(c.error), c.write) << c.error;
        EXPECT_EQ(KindOfInputError(c.error), c.input) << c.error;
        EXPECT_EQ(KindOfAccessError(c.error), c.access) << c.error;
    }
}

}  // namespace
}  // namespace tavik
