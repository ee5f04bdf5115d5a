// What a restore gives back through vendrask-archiv: names with their exact bytes, times
// outside the DOS range, and no existing file replaced unless that is asked for.
#include <sys/stat.h>

#include <ctime>

#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

// 2200-06-15 and 1970-06-15, 12:00 UTC.
constexpr long long kFuture = 7'272'417'600;
constexpr long long kEarly = 14'299'200;
// The last time a DOS date can hold, 2107-12-31 23:59:58, in UTC; a time zone moves it by a day at most.
constexpr long long kDosEnd = 4'354'819'198;

const std::string kLatin1Name = "caf\xE9.txt";  // not UTF-8
const std::string kUtf8Twin = "caf\xC3\xA9.txt";  // its Latin-1 reading

long long MTime(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return -1;
    return st.st_mtime;
}

class ArchivRestore : public ::testing::Test {
protected:
    testsupport::ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), archivtest::Cli());
        return Tool(args, dir.str());
    }
    fs::path Path(const std::string& name) const { return dir.path() / name; }

    testsupport::TempDir dir;
};

TEST_F(ArchivRestore, ANameThatIsNotUtf8ComesBackWithItsBytesBesideItsTwin) {
    testsupport::WriteFile(Path("src/" + kLatin1Name), "latin1\n");
    testsupport::WriteFile(Path("src/" + kUtf8Twin), "utf8\n");
    const auto pack = Cli({"pack", "a.zip", "src"});
    ASSERT_EQ(pack.status, 0) << pack.err;
    EXPECT_EQ(Tool({"unzip", "-tq", Path("a.zip").string()}).status, 0);

    // Both entries are there, and each extracts to its own name.
    const auto extract = Cli({"extract", "a.zip", "out"});
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadTree(Path("out")), (TTree{{"src/" + kLatin1Name, "latin1\n"}, {"src/" + kUtf8Twin, "utf8\n"}}));
    // Info-ZIP on this system gives back the same bytes.
    ASSERT_EQ(Tool({"unzip", "-q", Path("a.zip").string(), "-d", Path("unzip").string()}).status, 0);
    EXPECT_EQ(ReadTree(Path("unzip")), ReadTree(Path("out")));
    // The listing names the entry by its bytes.
    const auto list = Cli({"list", "a.zip"});
    EXPECT_NE(list.out.find("\tsrc/" + kLatin1Name + "\n"), std::string::npos) << list.out;
}

TEST_F(ArchivRestore, RestoringANameThatIsNotUtf8LeavesTheLiveTwinAlone) {
    testsupport::WriteFile(Path("src/" + kLatin1Name), "archiviert\n");
    ASSERT_EQ(Cli({"pack", "a.zip", "src"}).status, 0);
    fs::remove(Path("src/" + kLatin1Name));
    testsupport::WriteFile(Path("src/" + kUtf8Twin), "lebendig\n");
    const auto extract = Cli({"extract", "a.zip", "."});
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(testsupport::ReadFile(Path("src/" + kUtf8Twin)), "lebendig\n");
    EXPECT_EQ(testsupport::ReadFile(Path("src/" + kLatin1Name)), "archiviert\n");
}

TEST_F(ArchivRestore, TimesOutsideTheDosRangeAreClampedThereAndKeptExactly) {
    testsupport::WriteFile(Path("src/zukunft.txt"), "2200\n");
    testsupport::WriteFile(Path("src/alt.txt"), "1970\n");
    testsupport::SetMTime(Path("src/zukunft.txt"), kFuture);
    testsupport::SetMTime(Path("src/alt.txt"), kEarly);
    ASSERT_EQ(Cli({"pack", "a.zip", "src"}).status, 0);
    EXPECT_EQ(Tool({"unzip", "-tq", Path("a.zip").string()}).status, 0);
    EXPECT_EQ(Tool({"7zz", "t", Path("a.zip").string()}).status, 0);

    // The DOS fields hold the ends of their range, not a wrapped year or 1980 with the old month.
    const auto dos = Tool({"python3", "-c",
                           "import sys, zipfile\n"
                           "for i in zipfile.ZipFile(sys.argv[1]).infolist(): print(i.filename, i.date_time)\n",
                           Path("a.zip").string()});
    ASSERT_EQ(dos.status, 0) << dos.err;
    EXPECT_NE(dos.out.find("src/alt.txt (1980, 1, 1, 0, 0, 0)"), std::string::npos) << dos.out;
    EXPECT_NE(dos.out.find("src/zukunft.txt (2107, 12, 31, 23, 59, 58)"), std::string::npos) << dos.out;

    ASSERT_EQ(Cli({"extract", "a.zip", "out"}).status, 0);
    EXPECT_EQ(MTime(Path("out/src/zukunft.txt")), kFuture);
    EXPECT_EQ(MTime(Path("out/src/alt.txt")), kEarly);
    const auto list = Cli({"list", "a.zip"});
    EXPECT_NE(list.out.find("2200-06-15"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("1970-06-15"), std::string::npos) << list.out;

    // Info-ZIP takes the extended timestamp; a time after 2106 does not fit in it, and the
    // clamped date keeps the file in the future.
    ASSERT_EQ(Tool({"unzip", "-q", Path("a.zip").string(), "-d", Path("unzip").string()}).status, 0);
    EXPECT_EQ(MTime(Path("unzip/src/alt.txt")), kEarly);
    EXPECT_GE(MTime(Path("unzip/src/zukunft.txt")), kDosEnd - 86'400);
    // 7-Zip takes the NTFS times, which hold any of them.
    ASSERT_EQ(Tool({"7zz", "x", "-y", "-o" + Path("7z").string(), Path("a.zip").string()}).status, 0);
    EXPECT_EQ(MTime(Path("7z/src/zukunft.txt")), kFuture);
    EXPECT_EQ(MTime(Path("7z/src/alt.txt")), kEarly);
}

TEST_F(ArchivRestore, InfoZipsExtendedTimestampWinsOverTheDosTime) {
    testsupport::WriteFile(Path("src/alt.txt"), "1970\n");
    testsupport::SetMTime(Path("src/alt.txt"), kEarly);
    ASSERT_EQ(Tool({"zip", "-qr", "iz.zip", "src"}, dir.str()).status, 0);
    ASSERT_EQ(Cli({"extract", "iz.zip", "out"}).status, 0);
    EXPECT_EQ(MTime(Path("out/src/alt.txt")), kEarly);
}

class ArchivConflict : public ArchivRestore {
protected:
    void SetUp() override {
        WriteTree(Path("src"), {{"daten/beleg.txt", "neu aus dem Archiv\n"}, {"daten/gleich.txt", "gleich\n"},
                                {"daten/frei.txt", "frei\n"}});
        ASSERT_EQ(Cli({"pack", "a.zip", "src/daten"}).status, 0);
        testsupport::WriteFile(Path("out/daten/beleg.txt"), "lebendig und anders\n");
        testsupport::WriteFile(Path("out/daten/gleich.txt"), "gleich\n");
    }
};

TEST_F(ArchivConflict, ADifferentExistingFileIsAnItemErrorAndStaysAsItWas) {
    const auto extract = Cli({"extract", "a.zip", "out"});
    EXPECT_EQ(extract.status, 1);
    EXPECT_NE(extract.err.find("beleg.txt"), std::string::npos) << extract.err;
    EXPECT_NE(extract.err.find("--overwrite"), std::string::npos) << extract.err;
    EXPECT_EQ(extract.err.find("gleich.txt"), std::string::npos) << "an identical file is no conflict: " << extract.err;
    EXPECT_EQ(ReadTree(Path("out")), (TTree{{"daten/beleg.txt", "lebendig und anders\n"},
                                            {"daten/gleich.txt", "gleich\n"},
                                            {"daten/frei.txt", "frei\n"}}));
}

TEST_F(ArchivConflict, OverwriteReplacesIt) {
    const auto extract = Cli({"extract", "--overwrite", "a.zip", "out"});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadTree(Path("out")), ReadTree(Path("src")));
}

TEST_F(ArchivConflict, AnExistingLinkIsNotReplacedEither) {
    fs::remove(Path("out/daten/beleg.txt"));
    fs::create_symlink("gleich.txt", Path("out/daten/beleg.txt"));
    EXPECT_EQ(Cli({"extract", "a.zip", "out"}).status, 1);
    EXPECT_TRUE(fs::is_symlink(Path("out/daten/beleg.txt")));
    EXPECT_EQ(testsupport::ReadFile(Path("out/daten/gleich.txt")), "gleich\n");
}

TEST_F(ArchivConflict, ATarEntryDoesNotReplaceADifferentFileEither) {
    ASSERT_EQ(Tool({"tar", "-cf", "a.tar", "-C", "src", "daten"}, dir.str()).status, 0);
    EXPECT_EQ(Cli({"extract", "a.tar", "out"}).status, 1);
    EXPECT_EQ(testsupport::ReadFile(Path("out/daten/beleg.txt")), "lebendig und anders\n");
    EXPECT_EQ(Cli({"extract", "--overwrite", "a.tar", "out"}).status, 0);
    EXPECT_EQ(testsupport::ReadFile(Path("out/daten/beleg.txt")), "neu aus dem Archiv\n");
}

TEST_F(ArchivRestore, AListingThatCannotBeWrittenFails) {
    testsupport::WriteFile(Path("src/a.txt"), "a\n");
    ASSERT_EQ(Cli({"pack", "a.zip", "src"}).status, 0);
    const auto full = Tool({"sh", "-c", "exec \"$0\" list a.zip >/dev/full", archivtest::Cli()}, dir.str());
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("Standardausgabe"), std::string::npos) << full.err;
}

// A tar archive with one directory entry of the given name (raw header bytes) and a file.
void TarWithDirectory(const fs::path& archive, const std::string& name) {
    Python(R"(
import sys, tarfile, io
name = bytes.fromhex(sys.argv[2])
header = bytearray(512)
header[0:len(name)] = name
header[100:108] = b'0000755\0'
header[108:116] = b'0000000\0'
header[116:124] = b'0000000\0'
header[124:136] = b'00000000000\0'
header[136:148] = b'14000000000\0'
header[148:156] = b' ' * 8
header[156:157] = b'5'
header[257:263] = b'ustar\0'
header[263:265] = b'00'
header[148:156] = ('%06o\0 ' % sum(header)).encode()
data = io.BytesIO()
with tarfile.open(fileobj=data, mode='w', format=tarfile.USTAR_FORMAT) as t:
    info = tarfile.TarInfo('gut.txt'); info.size = 3
    t.addfile(info, io.BytesIO(b'gut'))
raw = bytes(header) + data.getvalue()
open(sys.argv[1], 'wb').write(raw)
)",
           {archive.string(), [&name] {
                static const char* const hex = "0123456789abcdef";
                std::string text;
                for (const char c : name) {
                    text += hex[static_cast<unsigned char>(c) >> 4];
                    text += hex[static_cast<unsigned char>(c) & 15];
                }
                return text;
            }()});
}

TEST_F(ArchivRestore, RefusedTarDirectoryEntriesAreItemErrors) {
    for (const std::string& name : {std::string(), std::string("C:/"), std::string("a\x01/"), std::string("a\\b/")}) {
        const fs::path archive = Path("d.tar");
        TarWithDirectory(archive, name);
        const auto extract = Cli({"extract", archive.string(), "out"});
        EXPECT_EQ(extract.status, 1) << testing::PrintToString(name) << extract.err;
        EXPECT_EQ(testsupport::ReadFile(Path("out/gut.txt")), "gut") << testing::PrintToString(name);
        fs::remove_all(Path("out"));
    }
    // "./" is the target directory itself.
    TarWithDirectory(Path("d.tar"), "./");
    const auto extract = Cli({"extract", "d.tar", "out"});
    EXPECT_EQ(extract.status, 0) << extract.err;
}

}  // namespace
}  // namespace archivtest
