// Extraction makes the files of the entries to come ahead of time, without a name, in the target
// directory. Each file must end exactly as one made in its own directory would: with its bytes,
// its rights, and the group its directory gives (a setgid directory gives its own), and beside an
// existing file of its name the same conflict as ever. Nothing of a file made ahead shows, used
// or not.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

#include "host/engine/extract/unnamed_files_ahead.h"
#include "host/services/system_error.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TUniqueFd;
using tavik::TUnnamedFilesAhead;


// Sets the umask for the test and restores it.
class TUmask {
public:
    explicit TUmask(mode_t mask) : FBefore(::umask(mask)) {}
    ~TUmask() { ::umask(FBefore); }

private:
    mode_t FBefore;
};

TEST(UnnamedFilesAhead, EachFileTakenIsUnnamedWithItsModeAndNothingShows) {
    const TUmask mask(022);
    testsupport::TempDir dir;
    const TUniqueFd dirFd(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(dirFd);
    struct stat dirStat {};
    ASSERT_EQ(::fstat(dirFd.Get(), &dirStat), 0);
    std::vector<std::optional<mode_t>> modes;
    for (int i = 0; i < 300; ++i)
        modes.push_back(i % 5 == 0 ? std::nullopt : std::optional<mode_t>(i % 7 == 0 ? 0600 : 0666));

    for (const std::size_t threads : {0u, 1u, 2u}) {
        SCOPED_TRACE(threads);
        std::size_t valid = 0;
        {
            TUnnamedFilesAhead ahead(dirFd.Get(), modes, threads, 8);
            for (std::size_t position = 0; position < modes.size(); ++position) {
                if (position % 11 == 3) continue;  // never taken: given up with the next take
                const bool wrongMode = position % 13 == 0;
                const mode_t mode = modes[position].value_or(0644) ^ (wrongMode ? 0100 : 0);
                const TUniqueFd file = ahead.Take(position, mode);
                if (!modes[position] || wrongMode) {
                    EXPECT_FALSE(file) << position;
                    continue;
                }
                // The first file is always made: it shows that the file system has unnamed files.
                if (position == 1) {
                    EXPECT_TRUE(file);
                }
                if (!file) continue;
                ++valid;
                struct stat st {};
                ASSERT_EQ(::fstat(file.Get(), &st), 0);
                EXPECT_TRUE(S_ISREG(st.st_mode));
                EXPECT_EQ(st.st_nlink, 0u) << position;
                EXPECT_EQ(st.st_mode & 0777, *modes[position] & ~0022u) << position;
                EXPECT_EQ(st.st_dev, dirStat.st_dev);
                EXPECT_EQ(::write(file.Get(), "x", 1), 1);
                EXPECT_TRUE(testsupport::SortedNames(dir.path()).empty());
            }
        }
        if (threads == 0) {
            EXPECT_EQ(valid, 1u);
        }
        EXPECT_TRUE(testsupport::SortedNames(dir.path()).empty());
    }
}

struct TAheadEntry {
    std::string name;  // a directory ends with '/'
    mode_t mode;
    std::string content;
};

struct TAheadCase {
    const char* name;
    bool targetSetgid;               // the target directory exists, setgid with another group
    std::vector<std::string> setgidDirs;  // directories there before, setgid with another group
    TTree present;                   // files there before
    TTree expected;                  // every file afterwards
    std::vector<std::string> otherGroup;  // files that get the other group
    std::vector<std::string> failures;    // entries that fail (a different file is there)
};

void PrintTo(const TAheadCase& c, std::ostream* out) { *out << c.name; }

std::vector<TAheadEntry> AheadEntries() {
    std::vector<TAheadEntry> entries = {
        {"wurzel.txt", 0640, "wurzel\n"},
        {"skript.sh", 0755, "#!/bin/sh\n"},
        {"d/", 0755, ""},
        {"d/eins.txt", 0600, "eins\n"},
        {"d/e/zwei.txt", 0644, "zwei\n"},
        {"alt/drei.txt", 0644, "drei\n"},
        {"alt/tief/vier.txt", 0664, "vier\n"},
        {"leer.txt", 0644, ""},
    };
    for (int i = 0; i < 60; ++i) {
        const mode_t mode = i % 2 == 0 ? 0644 : 0600;
        entries.push_back({"viele/" + std::to_string(i) + ".txt", mode, std::to_string(i) + "\n"});
    }
    entries.push_back({"zuletzt.txt", 0644, "zuletzt\n"});
    return entries;
}

TTree AllFiles() {
    TTree tree;
    for (const TAheadEntry& entry : AheadEntries())
        if (entry.name.back() != '/') tree[entry.name] = entry.content;
    return tree;
}

TTree With(TTree tree, const TTree& changes) {
    for (const auto& [name, content] : changes) tree[name] = content;
    return tree;
}

std::vector<std::string> Below(const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& [name, content] : AllFiles())
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    return names;
}

std::vector<TAheadCase> AheadCases() {
    std::vector<std::string> all;
    for (const auto& [name, content] : AllFiles()) all.push_back(name);
    return {
        {"NeuesZiel", false, {}, {}, AllFiles(), {}, {}},
        {"ZielSetgidMitAndererGruppe", true, {}, {}, AllFiles(), all, {}},
        {"VorhandenesVerzeichnisSetgid", false, {"alt"}, {}, AllFiles(), Below("alt/"), {}},
        {"VorhandeneDateien",
         false,
         {},
         {{"wurzel.txt", "wurzel\n"}, {"viele/7.txt", "fremd\n"}},
         With(AllFiles(), {{"viele/7.txt", "fremd\n"}}),
         {},
         {"viele/7.txt"}},
    };
}

// A group other than the process's own that files can be given: as root any, otherwise one of
// the supplementary groups.
std::optional<gid_t> OtherGroup() {
    if (::geteuid() == 0) return ::getegid() + 4242;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    groups.resize(static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    for (const gid_t group : groups)
        if (group != ::getegid()) return group;
    return std::nullopt;
}

void MakeSetgidDir(const fs::path& dir, gid_t group) {
    fs::create_directories(dir);
    ASSERT_EQ(::chown(dir.c_str(), static_cast<uid_t>(-1), group), 0) << tavik::SystemErrorText(errno);
    ASSERT_EQ(::chmod(dir.c_str(), 02775), 0);
}

// The archive of AheadEntries, built with Python's zipfile as a.zip in dir.
void BuildAheadArchive(const fs::path& dir) {
    std::vector<std::string> args = {(dir / "a.zip").string()};
    for (const TAheadEntry& entry : AheadEntries()) {
        const fs::path source = dir / "quelle" / std::to_string(args.size());
        testsupport::WriteFile(source, entry.content);
        args.push_back(entry.name + "\n" + source.string() + "\n" + std::to_string(entry.mode));
    }
    Python(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    for spec in sys.argv[2:]:
        name, source, mode = spec.split("\n")
        info = zipfile.ZipInfo(name, (2026, 12, 1, 8, 0, 0))
        info.create_system = 3
        info.external_attr = ((0o040000 if name.endswith("/") else 0o100000) | int(mode)) << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, open(source, "rb").read())
)",
           args);
}

class ExtractFilesAhead : public ::testing::TestWithParam<TAheadCase> {
protected:
    testsupport::TempDir dir;
};

TEST_P(ExtractFilesAhead, EachFileEndsAsMadeInItsOwnDirectory) {
    const TAheadCase& c = GetParam();
    const TUmask mask(002);
    const std::optional<gid_t> other = OtherGroup();
    if (!other) GTEST_SKIP() << "no second group to give a directory";

    BuildAheadArchive(dir.path());

    const fs::path target = dir / "ziel";
    if (c.targetSetgid) MakeSetgidDir(target, *other);
    for (const std::string& setgid : c.setgidDirs) MakeSetgidDir(target / setgid, *other);
    for (const auto& [name, content] : c.present) testsupport::WriteFile(target / name, content);

    auto engine = Engine(TArchivFormat::Zip, (dir / "a.zip").string());
    engine->ExtractDir = target.string();
    std::vector<std::string> failed;
    engine->OnError = [&failed](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind,
                                const std::string& item, const std::string&, bool& skip) {
        failed.push_back(item);
        skip = true;
    };
    EXPECT_EQ(engine->ExecuteArchivExtract(), c.failures.empty()) << engine->LastError();
    EXPECT_EQ(failed, c.failures);

    const TTree written = ReadTree(target);
    EXPECT_EQ(written.size(), c.expected.size());
    for (const auto& [name, content] : c.expected) {
        const auto found = written.find(name);
        ASSERT_NE(found, written.end()) << name;
        EXPECT_EQ(found->second, content) << name;
    }
    for (const TAheadEntry& entry : AheadEntries()) {
        if (entry.name.back() == '/' || c.present.count(entry.name) != 0) continue;
        struct stat st {};
        ASSERT_EQ(::stat((target / entry.name).c_str(), &st), 0) << entry.name;
        EXPECT_EQ(st.st_mode & 0777, entry.mode & ~0002u) << entry.name;
        EXPECT_EQ(st.st_nlink, 1u) << entry.name;
        const bool otherGroup =
            std::find(c.otherGroup.begin(), c.otherGroup.end(), entry.name) != c.otherGroup.end();
        EXPECT_EQ(st.st_gid, otherGroup ? *other : ::getegid()) << entry.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractFilesAhead, ::testing::ValuesIn(AheadCases()),
                         [](const ::testing::TestParamInfo<TAheadCase>& info) { return std::string(info.param.name); });

// The files made ahead hold descriptors: with few to be had, the extraction still gets every
// file out (it ran short of descriptors for all of them when 32 files were made ahead).
TEST(ExtractFilesAheadLimits, FewDescriptorsStillExtractEveryFile) {
    testsupport::TempDir dir;
    BuildAheadArchive(dir.path());
    const testsupport::ProcessResult result =
        Tool({"sh", "-c", "ulimit -n 24 && exec \"$0\" extract \"$1\" \"$2\"", Cli(), (dir / "a.zip").string(),
              (dir / "ziel").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadTree(dir / "ziel"), AllFiles());
}

}  // namespace
}  // namespace archivtest
