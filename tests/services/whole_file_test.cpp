// Files read whole into memory: the bytes are the file's, a file that is not what was measured
// (another length, not a regular file, too large) is left to its readers, and the copy stays as
// it was read when the file is cut short or rewritten afterwards.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "host/services/unique_fd.h"
#include "host/services/whole_file.h"
#include "tests/support/temp_dir.h"

namespace tavik {
namespace {

TUniqueFd OpenRead(const std::string& path) { return TUniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)); }

std::string Text(const TWholeFile& file) { return std::string(reinterpret_cast<const char*>(file.Data()), file.Size()); }

TEST(WholeFile, HoldsTheBytesOfTheFileAsTheyWereRead) {
    testsupport::TempDir dir;
    // Large files are read in two halves at once, the second reaching past the end.
    for (const std::size_t size : {std::size_t{1}, std::size_t{5000}, std::size_t{3} << 20, (std::size_t{16} << 20) + 4097,
                                   std::size_t{40} << 20}) {
        SCOPED_TRACE(size);
        std::string content;
        for (std::size_t i = 0; i < size; ++i) content += static_cast<char>('a' + i % 23);
        const std::string path = (dir / "archiv.zip").string();
        testsupport::WriteFile(path, content);
        const TUniqueFd fd = OpenRead(path);
        ASSERT_TRUE(fd);
        std::optional<TWholeFile> whole = TWholeFile::Read(fd.Get(), content.size());
        ASSERT_TRUE(whole);
        EXPECT_EQ(Text(*whole), content);

        // Cut short and rewritten while its readers work: they still have what was read.
        ASSERT_EQ(::truncate(path.c_str(), 0), 0);
        testsupport::WriteFile(path, "anders");
        const TWholeFile moved(std::move(*whole));
        EXPECT_EQ(Text(moved), content);
    }
}

TEST(WholeFile, AFileOfAnotherLengthOrKindIsLeftToItsReaders) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "archiv.zip", std::string(5000, 'x'));
    const TUniqueFd fd = OpenRead((dir / "archiv.zip").string());
    ASSERT_TRUE(fd);
    // Grown or shortened since it was measured.
    EXPECT_FALSE(TWholeFile::Read(fd.Get(), 4000));
    EXPECT_FALSE(TWholeFile::Read(fd.Get(), 6000));
    EXPECT_FALSE(TWholeFile::Read(fd.Get(), 0));
    EXPECT_FALSE(TWholeFile::Read(-1, 5000));
    EXPECT_FALSE(TWholeFile::Read(fd.Get(), TWholeFile::kLimit + 1));
    EXPECT_TRUE(TWholeFile::Read(fd.Get(), 5000));

    // The same for a file read in halves.
    const std::size_t large = (std::size_t{20} << 20) + 1;
    testsupport::WriteFile(dir / "gross.zip", std::string(large, 'y'));
    const TUniqueFd big = OpenRead((dir / "gross.zip").string());
    ASSERT_TRUE(big);
    EXPECT_FALSE(TWholeFile::Read(big.Get(), large - 1));
    EXPECT_FALSE(TWholeFile::Read(big.Get(), large + 1));
    EXPECT_TRUE(TWholeFile::Read(big.Get(), large));

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const TUniqueFd read(fds[0]), write(fds[1]);
    EXPECT_FALSE(TWholeFile::Read(read.Get(), 5000));
}

}  // namespace
}  // namespace tavik
