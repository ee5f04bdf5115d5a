// Opening files below a base without following a link on the way, one after the other with the
// last directory kept open: a run of files in one directory, a change of directory, a link put
// on the way or in a file's place, each answered as a fresh open would, except that a directory
// replaced after it was reached is still read from the directory that was checked.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "host/services/open_below.h"
#include "host/services/unique_fd.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// What the opener gives for path below base: the file's content, "link" for a link on the way
// or in the file's place (the kernel says ELOOP or ENOTDIR, depending on where), or "errno N".
std::string Opened(tavik::TFileOpenerBelow& opener, const std::string& path, const std::string& base) {
    const tavik::TUniqueFd fd(opener.Open(path, base, O_RDONLY));
    if (!fd) return errno == ELOOP || errno == ENOTDIR ? "link" : "errno " + std::to_string(errno);
    char buffer[64];
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    return got < 0 ? "read failed" : std::string(buffer, static_cast<std::size_t>(got));
}

TEST(FileOpenerBelow, OpensLikeAFreshOpenFileByFile) {
    testsupport::TempDir dir;
    const std::string base = dir.str();
    testsupport::WriteFile(dir / "a/eins.txt", "eins");
    testsupport::WriteFile(dir / "a/zwei.txt", "zwei");
    testsupport::WriteFile(dir / "b/drei.txt", "drei");
    testsupport::WriteFile(dir / "aussen/vier.txt", "vier");
    fs::create_directory_symlink(dir / "aussen", dir / "verweis");
    fs::create_symlink(dir / "a/eins.txt", dir / "b/link.txt");

    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {"a/eins.txt", "eins"},
        {"a/zwei.txt", "zwei"},                            // the same directory, kept open
        {"a/fehlt.txt", "errno " + std::to_string(ENOENT)},
        {"b/drei.txt", "drei"},                            // another directory
        {"b/link.txt", "link"},  // a link in the file's place
        {"verweis/vier.txt", "link"},  // a link on the way
        {"fehlt/fuenf.txt", "errno " + std::to_string(ENOENT)},
        {"a/zwei.txt", "zwei"},                            // after a failure, reached anew
        {"a/..", "errno " + std::to_string(EINVAL)},
        {"a/", "errno " + std::to_string(EINVAL)},
    };
    tavik::TFileOpenerBelow kept;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string path = base + "/" + c.path;
        EXPECT_EQ(Opened(kept, path, base), c.expected);
        tavik::TFileOpenerBelow fresh;
        EXPECT_EQ(Opened(fresh, path, base), c.expected);
    }
}

TEST(FileOpenerBelow, ADirectoryReplacedByALinkIsNotFollowed) {
    testsupport::TempDir dir;
    const std::string base = dir.str();
    testsupport::WriteFile(dir / "daten/eins.txt", "eins");
    testsupport::WriteFile(dir / "daten/zwei.txt", "zwei");
    testsupport::WriteFile(dir / "fremd/zwei.txt", "fremd");
    tavik::TFileOpenerBelow opener;
    EXPECT_EQ(Opened(opener, base + "/daten/eins.txt", base), "eins");
    fs::rename(dir / "daten", dir / "alt");
    fs::create_directory_symlink(dir / "fremd", dir / "daten");
    // The files of the run come from the directory that was checked, never through the link.
    EXPECT_EQ(Opened(opener, base + "/daten/zwei.txt", base), "zwei");
    // Reached anew (another directory came between), the link is refused.
    EXPECT_EQ(Opened(opener, base + "/alt/eins.txt", base), "eins");
    EXPECT_EQ(Opened(opener, base + "/daten/zwei.txt", base), "link");
}

}  // namespace
