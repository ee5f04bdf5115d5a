// TSafeWrite on real files in a scratch directory: the temporary name, what each step leaves
// behind when it fails, and which names count as leftovers.
#include "host/services/safe_write.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/services/exceptions.h"
#include "host/services/system_error.h"
#include "tests/support/temp_dir.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;


bool IsAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

TEST(SafeWrite, TheTemporaryNameLiesHiddenBesideTheTargetAndIsALeftoverOfIt) {
    TempDir tmp;
    TSafeWrite file((tmp / "bericht.pdf").string(), TDurability::Flushed);
    const std::string temp = file.TempName();
    ASSERT_EQ(temp.rfind(".bericht.pdf.vrtmp-", 0), 0u) << temp;
    ASSERT_EQ(temp.size(), std::string(".bericht.pdf.vrtmp-").size() + 6);
    EXPECT_TRUE(std::all_of(temp.end() - 6, temp.end(), IsAlnum)) << temp;
    EXPECT_EQ(file.TempPath(), (tmp / temp).string());
    EXPECT_EQ(testsupport::SortedNames(tmp.path()), std::vector<std::string>{temp});
    EXPECT_EQ(SafeWriteLeftoverOf(temp), "bericht.pdf");
}

TEST(SafeWrite, TwoWritesOfOneNameGetTwoTemporaryFiles) {
    TempDir tmp;
    TSafeWrite first((tmp / "a").string(), TDurability::Flushed);
    TSafeWrite second((tmp / "a").string(), TDurability::Flushed);
    EXPECT_NE(first.TempName(), second.TempName());
    EXPECT_EQ(testsupport::SortedNames(tmp.path()).size(), 2u);
}

TEST(SafeWrite, ALongNameIsShortenedOutsideAMultiByteCharacter) {
    TempDir tmp;
    // "ä" is two bytes; the 200th byte falls into one of them.
    std::string name = std::string(199, 'x');
    while (name.size() < 250) name += "ä";
    TSafeWrite file((tmp / name).string(), TDurability::Flushed);
    const std::string temp = file.TempName();
    EXPECT_LE(temp.size(), 255u);
    EXPECT_EQ(temp.rfind("." + std::string(199, 'x') + ".vrtmp-", 0), 0u) << temp;
    file.Write("inhalt", 6);
    ASSERT_TRUE(file.Place(TPlacing::Replace));
    EXPECT_EQ(testsupport::SortedNames(tmp.path()), std::vector<std::string>{name});
    EXPECT_EQ(ReadFile(tmp / name), "inhalt");
}

TEST(SafeWrite, PlacingReplacesTheTargetAndLeavesNothingElse) {
    TempDir tmp;
    WriteFile(tmp / "ziel.zip", "alt");
    {
        TSafeWrite file((tmp / "ziel.zip").string(), TDurability::Flushed);
        file.Write("neu und länger", std::string("neu und länger").size());
        file.WriteAt(0, "NEU", 3);
        EXPECT_EQ(ReadFile(tmp / "ziel.zip"), "alt");
        ASSERT_TRUE(file.Place(TPlacing::Replace));
        EXPECT_TRUE(file.Placed());
    }
    EXPECT_EQ(testsupport::SortedNames(tmp.path()), std::vector<std::string>{"ziel.zip"});
    EXPECT_EQ(ReadFile(tmp / "ziel.zip"), "NEU und länger");
}

TEST(SafeWrite, WithoutPlacingTheTemporaryFileGoesAndTheTargetStays) {
    TempDir tmp;
    WriteFile(tmp / "ziel.zip", "alt");
    {
        TSafeWrite file((tmp / "ziel.zip").string(), TDurability::Unflushed);
        file.Write("halb", 4);
    }
    EXPECT_EQ(testsupport::SortedNames(tmp.path()), std::vector<std::string>{"ziel.zip"});
    EXPECT_EQ(ReadFile(tmp / "ziel.zip"), "alt");
}

TEST(SafeWrite, NoReplaceLeavesATakenNameAloneUntilReplacingIsAsked) {
    TempDir tmp;
    WriteFile(tmp / "teil.z01", "fremd");
    TSafeWrite file((tmp / "teil.z01").string(), TDurability::Flushed);
    file.Write("unser", 5);
    EXPECT_FALSE(file.Place(TPlacing::NoReplace));
    EXPECT_FALSE(file.Placed());
    EXPECT_EQ(ReadFile(tmp / "teil.z01"), "fremd");
    EXPECT_EQ(ReadFile(file.TempPath()), "unser");
    ASSERT_TRUE(file.Place(TPlacing::Replace));
    EXPECT_EQ(ReadFile(tmp / "teil.z01"), "unser");
    EXPECT_EQ(testsupport::SortedNames(tmp.path()), std::vector<std::string>{"teil.z01"});
}

TEST(SafeWrite, NoReplaceTakesAFreeNameAndTheNameMayChangeBefore) {
    TempDir tmp;
    {
        TSafeWrite file((tmp / "archiv.zip").string(), TDurability::Flushed);
        file.Write("band 1", 6);
        file.SetName("archiv.z01");
        ASSERT_TRUE(file.Place(TPlacing::NoReplace));
    }
    EXPECT_EQ(testsupport::SortedNames(tmp.path()), std::vector<std::string>{"archiv.z01"});
    EXPECT_EQ(ReadFile(tmp / "archiv.z01"), "band 1");
}

TEST(SafeWrite, ANewFileByPathIsForOwnerAndGroupLessTheUmaskOrGetsTheModeSetExactly) {
    TempDir tmp;
    const mode_t umaskNow = ::umask(002);
    {
        TSafeWrite plain((tmp / "plain").string(), TDurability::Flushed);
        ASSERT_TRUE(plain.Place(TPlacing::Replace));
        TSafeWrite exact((tmp / "exact").string(), TDurability::Flushed);
        exact.SetMode(0660);
        ASSERT_TRUE(exact.Place(TPlacing::Replace));
    }
    ::umask(umaskNow);
    struct stat st {};
    ASSERT_EQ(::stat((tmp / "plain").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(::stat((tmp / "exact").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
}

TEST(SafeWrite, ADirectoryThatIsMissingFailsWithItsNameAndCreatesNothing) {
    TempDir tmp;
    try {
        TSafeWrite file((tmp / "fehlt" / "ziel.zip").string(), TDurability::Flushed);
        FAIL() << "no exception";
    } catch (const EOlvex& e) {
        EXPECT_THAT(e.what(), HasSubstr((tmp / "fehlt").string()));
        EXPECT_THAT(e.what(), HasSubstr(SystemErrorText(ENOENT)));
    }
    EXPECT_TRUE(testsupport::SortedNames(tmp.path()).empty());
}

TEST(SafeWrite, AFailedRenameRemovesTheTemporaryFileAndLeavesTheTarget) {
    TempDir tmp;
    WriteFile(tmp / "ziel" / "drin.txt", "bleibt");
    try {
        TSafeWrite file((tmp / "ziel").string(), TDurability::Flushed);
        file.Write("neu", 3);
        file.Place(TPlacing::Replace);
        FAIL() << "a file replaced a directory";
    } catch (const EOlvex& e) {
        EXPECT_THAT(e.what(), HasSubstr((tmp / "ziel").string()));
    }
    EXPECT_EQ(testsupport::SortedNames(tmp.path()), std::vector<std::string>{"ziel"});
    EXPECT_EQ(ReadFile(tmp / "ziel" / "drin.txt"), "bleibt");
}

// The disk refuses more data (as when it is full): the write fails with a German reason, the
// temporary file goes and the target keeps its content. Done in a child process, which alone
// gets the file size limit.
TEST(SafeWrite, AFailedWriteRemovesTheTemporaryFileAndLeavesTheTarget) {
    TempDir tmp;
    WriteFile(tmp / "ziel.zip", "alt");
    const std::string path = (tmp / "ziel.zip").string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
        int code = 11;
        try {
            TSafeWrite file(path, TDurability::Flushed);
            const std::string block(64 * 1024, 'x');
            file.Write(block.data(), block.size());
            file.Place(TPlacing::Replace);
        } catch (const EOlvex& e) {
            const std::string text = e.what();
            code = text.find(SystemErrorText(EFBIG)) != std::string::npos && text.find(path) != std::string::npos ? 0 : 12;
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no limit, 11: the write succeeded, 12: the message is wrong";
    EXPECT_EQ(testsupport::SortedNames(tmp.path()), std::vector<std::string>{"ziel.zip"});
    EXPECT_EQ(ReadFile(tmp / "ziel.zip"), "alt");
}

// A file made without a name ends as one made under a temporary name, whatever becomes of it:
// placed on a free name, refused a taken one and then told to replace it, replacing at once, or
// never placed. Until it has its name, nothing of it shows in the directory.
struct TPlacingCase {
    const char* name;
    bool taken;                            // a file "fremd" has the name already
    std::vector<TPlacing> placings;        // Place calls in turn
    std::vector<bool> placed;              // what each returns
    std::string finalContent;              // under the final name afterwards ("" none)
    bool temporaryLeft;                    // the temporary name is there before the object goes
};

void PrintTo(const TPlacingCase& c, std::ostream* out) { *out << c.name; }

std::vector<TPlacingCase> PlacingCases() {
    using P = TPlacing;
    return {
        {"FreiOhneErsetzen", false, {P::NoReplace}, {true}, "unser", false},
        {"FreiMitErsetzen", false, {P::Replace}, {true}, "unser", false},
        {"BelegtOhneErsetzen", true, {P::NoReplace}, {false}, "fremd", true},
        {"BelegtDannErsetzen", true, {P::NoReplace, P::Replace}, {false, true}, "unser", false},
        {"BelegtMitErsetzen", true, {P::Replace}, {true}, "unser", false},
        {"FreiNieAbgelegt", false, {}, {}, "", false},
        {"BelegtNieAbgelegt", true, {}, {}, "fremd", false},
    };
}

class SafeWritePlacing : public ::testing::TestWithParam<TPlacingCase> {};

TEST_P(SafeWritePlacing, AnUnnamedFileEndsAsOneWithATemporaryName) {
    const TPlacingCase& c = GetParam();
    for (const bool unnamed : {false, true}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        TempDir tmp;
        if (c.taken) WriteFile(tmp / "ziel.txt", "fremd");
        const std::vector<std::string> before = testsupport::SortedNames(tmp.path());
        {
            TUniqueFd dir(::open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            ASSERT_TRUE(dir);
            std::optional<TSafeWrite> file;
            if (unnamed) {
                TUniqueFd made = CreateUnnamedFile(dir.Get(), 0640);
                ASSERT_TRUE(made) << SystemErrorText(errno);
                file.emplace(std::move(dir), tmp.str(), "ziel.txt", std::move(made), TDurability::Flushed);
                EXPECT_TRUE(file->TempName().empty());
            } else {
                file.emplace(std::move(dir), tmp.str(), "ziel.txt", TDurability::Flushed, 0640);
            }
            file->Write("unser", 5);
            if (unnamed) {
                EXPECT_EQ(testsupport::SortedNames(tmp.path()), before);
            }
            for (std::size_t i = 0; i < c.placings.size(); ++i)
                EXPECT_EQ(file->Place(c.placings[i]), c.placed[i]) << i;
            EXPECT_EQ(file->Placed(), !c.placed.empty() && c.placed.back());
            if (c.temporaryLeft) {
                ASSERT_EQ(SafeWriteLeftoverOf(file->TempName()), "ziel.txt");
                EXPECT_EQ(ReadFile(file->TempPath()), "unser");
                EXPECT_EQ(testsupport::SortedNames(tmp.path()).size(), 2u);
            }
        }
        if (c.finalContent.empty()) {
            EXPECT_TRUE(testsupport::SortedNames(tmp.path()).empty());
            continue;
        }
        EXPECT_EQ(testsupport::SortedNames(tmp.path()), std::vector<std::string>{"ziel.txt"});
        EXPECT_EQ(ReadFile(tmp / "ziel.txt"), c.finalContent);
        struct stat st {};
        ASSERT_EQ(::stat((tmp / "ziel.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_nlink, 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SafeWritePlacing, ::testing::ValuesIn(PlacingCases()),
                         [](const ::testing::TestParamInfo<TPlacingCase>& info) { return std::string(info.param.name); });

TEST(SafeWriteLeftover, EveryTemporaryNameIsRecognisedWithItsFinalName) {
    TempDir tmp;
    for (const std::string name : {"a", "SK261207.001", "x.vrtmp-abcdef", "archiv.z01", ".versteckt", "ö ü.txt"}) {
        TSafeWrite file((tmp / name).string(), TDurability::Unflushed);
        EXPECT_EQ(SafeWriteLeftoverOf(file.TempName()), name) << file.TempName();
    }
}

TEST(SafeWriteLeftover, OtherNamesAreNot) {
    // Among them the temporary names of other schemes: a second random part (as libzip's own
    // temporary file has), ".vendrask-" with hex digits, ".vrx" with numbers.
    for (const std::string name :
         {"", ".", "a.txt", ".a.txt", "a.txt.vrtmp-abcdef", ".vrtmp-abcdef", ".a.vrtmp-abcde", ".a.vrtmp-abcdefg",
          ".a.vrtmp-ab.def", ".a.vrtmp-abcdef-ghijkl", ".a.vrtmp-abcdef.ghijk", ".a.vrtmp-abcdef.ghijkl",
          ".SK261207.001.vrtmp-USD0Nn.ipnqjm", ".archiv.vendrask-0a1b2c3d", ".brief.txt.vrx4711-0", ".a.vendrask-0A1B2C3D",
          ".a.vendrask-0a1b2c3", ".a.vrx-1", ".a.vrx12-", ".a.vrx1x-2", ".a.vrx12_3", ".vrx1-2"})
        EXPECT_EQ(SafeWriteLeftoverOf(name), std::nullopt) << name;
}

TEST(SafeWriteScratch, AScratchFileLeavesNoNameBehind) {
    TempDir tmp;
    {
        const TUniqueFd dir(::open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(dir);
        const TUniqueFd scratch = tavik::CreateScratchFile(dir.Get(), "zeit");
        ASSERT_TRUE(scratch) << SystemErrorText(errno);
        EXPECT_EQ(::write(scratch.Get(), "x", 1), 1);
        EXPECT_TRUE(testsupport::SortedNames(tmp.path()).empty());
    }
    EXPECT_TRUE(testsupport::SortedNames(tmp.path()).empty());
}

TEST(SystemErrorText, NamesTheCommonFailuresInGermanAndOthersByNumber) {
    EXPECT_EQ(SystemErrorText(ENOSPC), "der Datenträger ist voll");
    EXPECT_EQ(SystemErrorText(EACCES), SystemErrorText(EPERM));
    EXPECT_THAT(SystemErrorText(9999), HasSubstr("Systemfehler 9999"));
}

}  // namespace
}  // namespace tavik
