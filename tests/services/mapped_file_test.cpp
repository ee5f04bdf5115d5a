// Files read through memory: the bytes are the file's, and a file that is not what was
// measured (another length, not a regular file) is not mapped, so that its reader reads it as
// before.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "host/services/mapped_file.h"
#include "host/services/unique_fd.h"
#include "tests/support/temp_dir.h"

namespace tavik {
namespace {

TUniqueFd OpenRead(const std::string& path) { return TUniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)); }

TEST(MappedFile, HoldsTheBytesOfTheFile) {
    testsupport::TempDir dir;
    std::string content;
    for (int i = 0; i < 300'000; ++i) content += static_cast<char>('a' + i % 23);
    testsupport::WriteFile(dir / "archiv.zip", content);
    const TUniqueFd fd = OpenRead((dir / "archiv.zip").string());
    ASSERT_TRUE(fd);
    std::optional<TMappedFile> mapped = TMappedFile::Map(fd.Get(), content.size());
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->Size(), content.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped->Data()), mapped->Size()), content);

    const TMappedFile moved(std::move(*mapped));
    EXPECT_EQ(mapped->Data(), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(moved.Data()), moved.Size()), content);
}

TEST(MappedFile, AFileOfAnotherLengthOrKindIsNotMapped) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "archiv.zip", std::string(5000, 'x'));
    const TUniqueFd fd = OpenRead((dir / "archiv.zip").string());
    ASSERT_TRUE(fd);
    // Grown or shortened since it was measured.
    EXPECT_FALSE(TMappedFile::Map(fd.Get(), 4000));
    EXPECT_FALSE(TMappedFile::Map(fd.Get(), 6000));
    EXPECT_FALSE(TMappedFile::Map(fd.Get(), 0));
    EXPECT_FALSE(TMappedFile::Map(-1, 5000));
    EXPECT_TRUE(TMappedFile::Map(fd.Get(), 5000));

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const TUniqueFd read(fds[0]), write(fds[1]);
    EXPECT_FALSE(TMappedFile::Map(read.Get(), 5000));
}

}  // namespace
}  // namespace tavik
