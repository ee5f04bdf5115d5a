// Names that are not what a Windows-born program expects: bytes that are no UTF-8, newlines and
// tabs, names like switches, paths near and beyond PATH_MAX, trees deeper than the walker goes.
#include <dirent.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "tests/faults/support/fault_run.h"

namespace faults {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testsupport::HostFixture;
using testsupport::RunProcess;
using testsupport::TempDir;

std::string Archiver() { return testsupport::BinDir() + "/vendrask-archiv"; }

// Every regular file below dir, by relative name.
Snapshot Tree(const fs::path& dir) {
    Snapshot files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).string()] = testsupport::ReadFile(entry.path());
    return files;
}

TEST(OddNames, PrintableOddNamesGoThroughArchiveRunDeleteRunAndExtractionUnchanged) {
    HostFixture host;
    const std::vector<std::string> names = {"-A", "/D:stadata", "*.dat", "[a-z]?", " vorn und hinten ", "gr\xC3\xBC\xC3\x9F" "e.dat",
                                            "\"zitat\",komma", "%s%n%x", "$(rm -rf x)", "\xE2\x80\xAE" "gnp.exe"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        host.File("stadata/" + names[i], "Inhalt " + std::to_string(i), 1'000'000'000);
        host.File("stadata/unter " + names[i] + "/" + names[i], "tief " + std::to_string(i), 1'000'000'000);
        host.File("ARCHIV/" + names[i], "alt", 1'000'000'000);
    }
    const Snapshot before = TakeSnapshot(host);
    FaultOptions options;
    options.args = {"-AUTO", "-A", "-L"};
    const FaultResult run = RunVendrask(host, options);
    ASSERT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_THAT(TakeSnapshot(host), IsEmpty());
    for (const auto& name : names) EXPECT_FALSE(host.Exists("ARCHIV/" + name)) << name;
    EXPECT_THAT(Violations(host, before), IsEmpty());
    const auto archives = FinalArchives(host);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(RunProcess({"7zz", "t", archives[0]}).status, 0);

    // Extracted into a root, the archive gives every file back under its name.
    TempDir root;
    const auto extract = RunProcess({Archiver(), "extract", archives[0], root.str()});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(Tree(root.path()), before);
    const auto listing = RunProcess({Archiver(), "list", archives[0]});
    EXPECT_EQ(static_cast<std::size_t>(std::count(listing.out.begin(), listing.out.end(), '\n')), before.size());
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

TEST(OddNames, NamesThatAreNoUtf8AreArchivedAndNothingIsLostWhereTheyMeetTheirUtf8Twin) {
    HostFixture host;
    const std::string latin1 = "gr\xFC\xDF.dat";  // "grüß.dat" in Latin-1
    host.File("stadata/" + latin1, "Latin-1", 1'000'000'000);
    host.File("stadata/" + Latin1ToUtf8(latin1), "UTF-8", 1'000'000'000);
    host.File("stadata/\xFF\xFE\xC3.bin", "kein UTF-8", 1'000'000'000);
    const FaultResult run = RunVendrask(host);
    EXPECT_EQ(run.process.status, 0) << run.process.err;
    const auto archives = FinalArchives(host);
    ASSERT_EQ(archives.size(), 1u);
    // Every file is archived under its own bytes, the twins side by side.
    TempDir root;
    const auto extract = RunProcess({Archiver(), "extract", archives[0], root.str()});
    EXPECT_EQ(extract.status, 0) << extract.err;
    const Snapshot expected{{"stadata/" + latin1, "Latin-1"},
                            {"stadata/" + Latin1ToUtf8(latin1), "UTF-8"},
                            {"stadata/\xFF\xFE\xC3.bin", "kein UTF-8"}};
    EXPECT_EQ(Tree(root.path()), expected);
    for (const auto& [name, content] : expected) EXPECT_FALSE(host.Exists(name)) << name;
    // Restored into the live installation beside a new twin, it replaces nothing.
    host.File("stadata/" + Latin1ToUtf8(latin1), "neu", 1'000'000'000);
    EXPECT_EQ(RunProcess({Archiver(), "extract", archives[0], host.Root()}).status, 1);
    EXPECT_EQ(testsupport::ReadFile(host.Root() + "/stadata/" + Latin1ToUtf8(latin1)), "neu");
    EXPECT_EQ(testsupport::ReadFile(host.Root() + "/stadata/" + latin1), "Latin-1");
}

// Control characters and backslashes are legal in the name of a Unix file: such files are
// archived as they are, listed escaped, and come back with the same bytes. Only a name that
// extraction could not give back (a backslash that would climb, were it a separator) stays.
TEST(OddNames, ControlCharactersAndBackslashesAreArchivedAndRestoredByteForByte) {
    HostFixture host;
    const std::vector<std::string> names = {"zeile\nzwei.dat", "tab\tname.dat", "x\r\n5\t999\t2026-01-01 00:00:00\tfalsch",
                                            "back\\slash.dat", "glocke\a.dat", "esc\x1B[2J.dat", "del\x7F.dat",
                                            "tief\n1/x.dat", "Grüße\x01.dat"};
    for (const auto& name : names) {
        host.File("stadata/" + name, name, 1'000'000'000);
        host.File("ARCHIV/" + name, "alt", 1'000'000'000);
    }
    host.File("stadata/..\\raus.dat", "bleibt", 1'000'000'000);
    host.File("stadata/normal.dat", "normal", 1'000'000'000);
    const Snapshot before = TakeSnapshot(host);
    FaultOptions options;
    options.args = {"-AUTO", "-A", "-L"};
    const FaultResult run = RunVendrask(host, options);
    EXPECT_EQ(run.process.status, 1) << "the name that would climb is a failure";
    EXPECT_THAT(run.process.err, HasSubstr("umbenennen"));
    EXPECT_TRUE(host.Exists("stadata/..\\raus.dat"));
    for (const auto& name : names) {
        EXPECT_FALSE(host.Exists("stadata/" + name)) << name;
        EXPECT_FALSE(host.Exists("ARCHIV/" + name)) << "the delete run deletes any name: " << name;
    }
    const auto archives = FinalArchives(host);
    ASSERT_EQ(archives.size(), 1u);
    // One line per entry, every control character and backslash escaped.
    const auto listing = RunProcess({Archiver(), "list", archives[0]});
    EXPECT_EQ(listing.status, 0) << listing.err;
    EXPECT_EQ(static_cast<std::size_t>(std::count(listing.out.begin(), listing.out.end(), '\n')), names.size() + 1);
    EXPECT_THAT(listing.out, HasSubstr("\tstadata/back\\\\slash.dat\n"));
    EXPECT_THAT(listing.out, HasSubstr("\tstadata/esc\\033[2J.dat\n"));
    EXPECT_EQ(listing.out.find('\x1B'), std::string::npos);
    // Extracted into the root, every file is back where it was, with its name's bytes.
    const auto restored = RunProcess({Archiver(), "extract", archives[0], host.Root()});
    EXPECT_EQ(restored.status, 0) << restored.err;
    Snapshot expected = before;
    expected.erase("stadata/..\\raus.dat");
    Snapshot back = TakeSnapshot(host);
    back.erase("stadata/..\\raus.dat");
    EXPECT_EQ(back, expected);
}

// Builds a ZIP with Python's zipfile from name/content pairs given as JSON.
const char* const kBuildZip = R"(
import sys, zipfile, json
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for name, content in json.loads(sys.argv[2]):
        z.writestr(name, content)
)";

TEST(OddNames, TheListingGivesOneLinePerEntryWhateverTheNames) {
    TempDir dir;
    const std::string archive = (dir / "namen.zip").string();
    const auto built = RunProcess({"python3", "-c", kBuildZip, archive,
                                   R"([["a\nb.txt", "1"], ["x\r\n5\t999\t2026-01-01 00:00:00\tfalsch", "2"],
                                       ["back\\slash", "3"], ["esc\u001b[2J", "4"], ["normal.txt", "5"]])"});
    ASSERT_EQ(built.status, 0) << built.err;
    const auto listing = RunProcess({Archiver(), "list", archive});
    EXPECT_EQ(listing.status, 0) << listing.err;
    EXPECT_EQ(std::count(listing.out.begin(), listing.out.end(), '\n'), 5) << listing.out;
    EXPECT_THAT(listing.out, HasSubstr("\ta\\nb.txt\n"));
    EXPECT_THAT(listing.out, HasSubstr("\tx\\r\\n5\\t999\\t2026-01-01 00:00:00\\tfalsch\n"));
    EXPECT_THAT(listing.out, HasSubstr("\tback\\\\slash\n"));
    EXPECT_EQ(listing.out.find('\x1B'), std::string::npos) << "an escape sequence reaches the terminal";
    EXPECT_THAT(listing.out, HasSubstr("\tnormal.txt\n"));
}

// Creates dir/name/name/... (depth levels) one level at a time, beyond what one path may name.
std::string DeepDirectory(const std::string& top, const std::string& name, int depth) {
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string path = top;
    for (int i = 0; i < depth && fd >= 0; ++i) {
        mkdirat(fd, name.c_str(), 0755);
        const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
        path += "/" + name;
    }
    if (fd >= 0) close(fd);
    return path;
}

// Writes path, which may be longer than PATH_MAX, below top.
void WriteDeep(const std::string& top, const std::string& relative, const std::string& content) {
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::size_t start = 0;
    for (std::size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1) {
        const int next = openat(fd, relative.substr(start, slash - start).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    const int file = openat(fd, relative.substr(start).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(write(file, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    const timespec old[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    futimens(file, old);
    close(file);
    close(fd);
}

// Removes the directory top/name and everything below it, however deep.
void RemoveDeep(int parent, const char* name) {
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        unlinkat(parent, name, 0);
        return;
    }
    if (DIR* dir = fdopendir(dup(fd))) {
        std::vector<std::string> names;
        while (const dirent* entry = readdir(dir))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") names.emplace_back(entry->d_name);
        closedir(dir);
        for (const auto& child : names) RemoveDeep(fd, child.c_str());
    }
    close(fd);
    unlinkat(parent, name, AT_REMOVEDIR);
}

class LongPaths : public ::testing::Test {
protected:
    void TearDown() override {
        const int root = open(host.Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        RemoveDeep(root, "stadata");
        close(root);
    }
    HostFixture host;
};

TEST_F(LongPaths, APathJustBelowPathMaxIsArchivedAndRestored) {
    const std::string segment(200, 'v');
    const std::size_t room = PATH_MAX - 1 - (host.Root().size() + 9) - 20;
    const int depth = static_cast<int>(room / (segment.size() + 1));
    DeepDirectory(host.Root() + "/stadata", segment, depth);
    std::string relative;
    for (int i = 0; i < depth; ++i) relative += segment + "/";
    relative += "datei.dat";
    WriteDeep(host.Root() + "/stadata", relative, "tief unten");
    ASSERT_LT(host.Root().size() + 9 + relative.size(), static_cast<std::size_t>(PATH_MAX));
    ASSERT_GT(host.Root().size() + 9 + relative.size(), static_cast<std::size_t>(PATH_MAX - 300));

    const FaultResult run = RunVendrask(host);
    EXPECT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_FALSE(fs::exists(host.Root() + "/stadata/" + relative));
    const auto archives = FinalArchives(host);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(RunProcess({"unzip", "-p", archives[0], "stadata/" + relative}).out, "tief unten");
}

TEST_F(LongPaths, APathBeyondPathMaxIsKeptOrArchivedAndNeverLost) {
    const std::string segment(250, 'w');
    const int depth = PATH_MAX / 250 + 2;
    DeepDirectory(host.Root() + "/stadata", segment, depth);
    std::string relative;
    for (int i = 0; i < depth; ++i) relative += segment + "/";
    relative += "datei.dat";
    WriteDeep(host.Root() + "/stadata", relative, "zu tief");
    host.File("stadata/flach.dat", "flach", 1'000'000'000);

    const FaultResult run = RunVendrask(host);
    EXPECT_FALSE(host.Exists("stadata/flach.dat"));
    const auto archives = FinalArchives(host);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(RunProcess({"unzip", "-tq", archives[0]}).status, 0);
    const int stadata = open((host.Root() + "/stadata").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    // fstatat takes a path relative to a directory, which may exceed PATH_MAX as a whole.
    std::string from = relative;
    int dir = dup(stadata);
    for (std::size_t slash; (slash = from.find('/')) != std::string::npos; from.erase(0, slash + 1)) {
        const int next = openat(dir, from.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(dir);
        dir = next;
    }
    const bool kept = fstatat(dir, from.c_str(), &info, 0) == 0;
    close(dir);
    close(stadata);
    const bool archived = RunProcess({"unzip", "-p", archives[0], "stadata/" + relative}).out == "zu tief";
    EXPECT_TRUE(kept || archived) << "the deep file is gone and in no archive";
    if (kept) {
        EXPECT_EQ(run.process.status, 1) << "a file left behind is reported";
        EXPECT_FALSE(run.process.err.empty());
    } else {
        EXPECT_EQ(run.process.status, 0) << run.process.err;
    }
}

TEST_F(LongPaths, ATreeDeeperThanTheWalkerGoesIsReportedAndKept) {
    DeepDirectory(host.Root() + "/stadata", "t", 1005);
    std::string relative;
    for (int i = 0; i < 1005; ++i) relative += "t/";
    WriteDeep(host.Root() + "/stadata", relative + "unten.dat", "unten");
    host.File("stadata/oben.dat", "oben", 1'000'000'000);
    const FaultResult run = RunVendrask(host);
    EXPECT_EQ(run.process.status, 1);
    EXPECT_THAT(run.process.err, HasSubstr("Ebenen tief"));
    EXPECT_FALSE(host.Exists("stadata/oben.dat"));
    EXPECT_TRUE(fs::exists(host.Root() + "/stadata/" + relative + "unten.dat"));
}

}  // namespace
}  // namespace faults
