// Names and links as other systems write them: backslashes of archives made on DOS and Windows,
// link targets that go up and come back, and names that occur twice in one archive.
#include <sys/stat.h>

#include "host/engine/search/archive_search.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;

// Builds a ZIP with Python's zipfile from (name, content, "made by" host, unix mode) entries;
// a mode of 0 leaves the attributes as zipfile sets them.
const char* const kBuildZip = R"(
import sys, zipfile, json, warnings
warnings.simplefilter('ignore')
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for name, content, host, mode in json.loads(sys.argv[2]):
        info = zipfile.ZipInfo(name, (2021, 3, 4, 5, 6, 8))
        info.create_system = host
        if mode: info.external_attr = mode << 16
        z.writestr(info, content)
)";

// Builds a tar from (name, kind, content or link target) entries; kind: f file, d directory,
// l symlink, h hard link.
const char* const kBuildTar = R"(
import io, sys, tarfile, json
with tarfile.open(sys.argv[1], 'w', format=tarfile.GNU_FORMAT) as t:
    for name, kind, value in json.loads(sys.argv[2]):
        info = tarfile.TarInfo(name)
        info.type = {'f': tarfile.REGTYPE, 'd': tarfile.DIRTYPE, 'l': tarfile.SYMTYPE, 'h': tarfile.LNKTYPE}[kind]
        data = value.encode() if kind == 'f' else b''
        if kind in 'lh': info.linkname = value
        info.size = len(data)
        t.addfile(info, io.BytesIO(data))
)";

class ExtractNames : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(target); }

    std::string Zip(const std::string& entries, const std::string& name = "namen.zip") {
        const std::string archive = (dir / name).string();
        Python(kBuildZip, {archive, entries});
        return archive;
    }
    std::string Tar(const std::string& entries) {
        const std::string archive = (dir / "namen.tar").string();
        Python(kBuildTar, {archive, entries});
        return archive;
    }
    std::unique_ptr<tavik::TArchivFormatAbstract> Extractor(TArchivFormat format, const std::string& archive) {
        auto engine = Engine(format, archive);
        recorder.Attach(*engine);
        engine->ExtractDir = target.string();
        return engine;
    }
    // Every symbolic link below the target, and where it leads as far as it exists.
    void ExpectNoLinkLeadsOutside() {
        const fs::path root = fs::canonical(target);
        for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
            if (!entry.is_symlink()) continue;
            const std::string resolved = fs::weakly_canonical(entry.path()).string();
            EXPECT_EQ(resolved.rfind(root.string(), 0), 0u) << entry.path() << " leads to " << resolved;
        }
    }

    testsupport::TempDir dir;
    fs::path target = dir.path() / "ziel";
    TRecorder recorder;
};

// --- backslashes ---------------------------------------------------------------------------

const char* const kDosNames = R"([
    ["dir\\file.txt", "datei", 0, 0],
    ["..\\..\\raus.txt", "raus", 0, 0],
    ["leer\\unter\\", "", 0, 0],
    ["nt\\x.txt", "ntfs", 11, 0],
    ["vfat\\y.txt", "vfat", 14, 0],
    ["os2\\z.txt", "hpfs", 6, 0],
    ["unix\\name.txt", "unix", 3, 33188]
])";

TEST_F(ExtractNames, BackslashesOfDosAndWindowsArchivesSeparateComponents) {
    auto engine = Extractor(TArchivFormat::Zip, Zip(kDosNames));
    ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
    // Made on Unix, a backslash is part of the name.
    EXPECT_EQ(EntryNames(*engine), Sorted({"../../raus.txt", "dir/file.txt", "leer/unter/", "nt/x.txt",
                                           "os2/z.txt", "unix\\name.txt", "vfat/y.txt"}));
    EXPECT_TRUE(engine->ExecuteArchivVerify(tavik::TArchivVerifyMode::Complete)) << engine->LastError();

    EXPECT_FALSE(engine->ExecuteArchivExtract());
    // The Unix name keeps its backslash: on this system it separates nothing.
    EXPECT_EQ(ReadTree(target), (TTree{{"dir/file.txt", "datei"}, {"nt/x.txt", "ntfs"}, {"os2/z.txt", "hpfs"},
                                       {"unix\\name.txt", "unix"}, {"vfat/y.txt", "vfat"}}));
    EXPECT_TRUE(fs::is_directory(target / "leer/unter"));
    // The traversal stays refused after the conversion.
    EXPECT_EQ(Sorted(recorder.errorItems), Sorted({"../../raus.txt"}));
    EXPECT_FALSE(fs::exists(dir / "raus.txt"));
    EXPECT_FALSE(fs::exists(dir.path().parent_path() / "raus.txt"));
}

TEST_F(ExtractNames, TheSearchAndTheCommandLineShowTheConvertedName) {
    const std::string archive = Zip(kDosNames);
    std::vector<std::string> found;
    tavik::search::TSearchEvents events;
    events.OnHit = [&found](const tavik::search::TSearchHit& hit) { found.emplace_back(hit.name); };
    tavik::search::SearchArchives(dir.path().string(), {"*.txt"}, events, 1);
    EXPECT_EQ(Sorted(found), Sorted({"../../raus.txt", "dir/file.txt", "nt/x.txt", "os2/z.txt", "unix\\name.txt",
                                     "vfat/y.txt"}));
    const auto list = Tool({Cli(), "list", archive});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("\tdir/file.txt\n"), std::string::npos) << list.out;
    // The listing writes a backslash of a name doubled, to tell it from its escapes.
    EXPECT_NE(list.out.find("\tunix\\\\name.txt\n"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("dir\\"), std::string::npos) << list.out;
}

// --- links ---------------------------------------------------------------------------------

TEST_F(ExtractNames, ZipLinkThatGoesUpAndComesBackIsMade) {
    auto engine = Extractor(TArchivFormat::Zip, Zip(R"([
        ["x/x/g", "ziel", 3, 33188],
        ["x/y/link", "../x/./a/b/c/../../../g", 3, 41471],
        ["x/y/raus", "../../../draussen", 3, 41471],
        ["x/y/knapp", "../../..", 3, 41471],
        ["x/y/abs", "/etc/passwd", 3, 41471],
        ["x/y/oben", "../..", 3, 41471]
    ])"));
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    ASSERT_TRUE(fs::is_symlink(target / "x/y/link"));
    EXPECT_EQ(fs::read_symlink(target / "x/y/link"), "../x/./a/b/c/../../../g");
    EXPECT_EQ(fs::read_symlink(target / "x/y/oben"), "../..");
    EXPECT_EQ(Sorted(recorder.errorItems), Sorted({"x/y/raus", "x/y/knapp", "x/y/abs"}));
    ExpectNoLinkLeadsOutside();
}

// A link that a later target climbs out of by "..": whichever comes first, one of the two is
// refused, so that no link leads outside.
TEST_F(ExtractNames, NoChainOfLinksLeadsOutside) {
    for (const bool upFirst : {true, false}) {
        SCOPED_TRACE(upFirst);
        fs::remove_all(target);
        const std::string climb = R"(["x/y/link", "../x/a/b/c/../../../g", 3, 41471])";
        const std::string lift = R"(["x/x/a/b/c", "../../../..", 3, 41471])";
        auto engine = Extractor(TArchivFormat::Zip, Zip("[" + (upFirst ? climb + "," + lift : lift + "," + climb) + "]"));
        EXPECT_FALSE(engine->ExecuteArchivExtract());
        EXPECT_EQ(fs::is_symlink(target / "x/y/link"), upFirst);
        EXPECT_EQ(fs::is_symlink(target / "x/x/a/b/c"), !upFirst);
        ExpectNoLinkLeadsOutside();
        recorder.errorItems.clear();
    }
}

TEST_F(ExtractNames, ExistingLinkOnTheWayOfATargetIsNotClimbedOutOf) {
    fs::create_directories(target / "x");
    fs::create_directory_symlink(dir.path(), target / "x/a");  // put there by someone else
    auto engine = Extractor(TArchivFormat::Zip, Zip(R"([["x/link", "a/b/../../ok", 3, 41471]])"));
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_FALSE(fs::exists(fs::symlink_status(target / "x/link")));
    EXPECT_EQ(recorder.errorItems, (std::vector<std::string>{"x/link"}));
}

TEST_F(ExtractNames, TarLinksGoUpAndBackButAHardLinkCannotMoveALinkOutside) {
    auto engine = Extractor(TArchivFormat::Other, Tar(R"([
        ["x/x/g", "f", "ziel"],
        ["x/x/a/b/c", "d", ""],
        ["x/y/link", "l", "../x/./a/b/c/../../../g"],
        ["x/y/raus", "l", "../../../draussen"],
        ["x/y/abs", "l", "/etc"],
        ["a/b/s", "l", "../../x"],
        ["t", "h", "a/b/s"],
        ["a/b/t", "h", "a/b/s"]
    ])"));
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_EQ(fs::read_symlink(target / "x/y/link"), "../x/./a/b/c/../../../g");
    EXPECT_EQ(testsupport::ReadFile(target / "x/y/link"), "ziel");
    EXPECT_EQ(fs::read_symlink(target / "a/b/t"), "../../x");  // the same place, the same meaning
    EXPECT_FALSE(fs::exists(fs::symlink_status(target / "t")));
    EXPECT_EQ(Sorted(recorder.errorItems), Sorted({"x/y/raus", "x/y/abs", "t"}));
    ExpectNoLinkLeadsOutside();
}

// --- names that occur twice ----------------------------------------------------------------

const char* const kTwice = R"([
    ["a.txt", "erste", 3, 33188],
    ["b.txt", "gleich", 3, 33188],
    ["a.txt", "zweite", 3, 33188],
    ["b.txt", "gleich", 3, 33188],
    ["c.txt", "drei", 3, 33188]
])";

TEST_F(ExtractNames, ASecondEntryOfTheSameNameIsAConflictWithoutAQuestionAnItemError) {
    auto engine = Extractor(TArchivFormat::Zip, Zip(kTwice));
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_EQ(ReadTree(target), (TTree{{"a.txt", "erste"}, {"b.txt", "gleich"}, {"c.txt", "drei"}}));
    EXPECT_EQ(recorder.errorItems, (std::vector<std::string>{"a.txt"}));
    EXPECT_NE(engine->LastError().find(tavik::kArchivConflictRefused), std::string::npos) << engine->LastError();
}

TEST_F(ExtractNames, ASecondEntryOfTheSameNameIsAskedAbout) {
    for (const auto answer : {tavik::TArchivConflictAnswer::No, tavik::TArchivConflictAnswer::Yes}) {
        fs::remove_all(target);
        auto engine = Extractor(TArchivFormat::Zip, Zip(kTwice));
        std::vector<std::string> asked;
        engine->OnConflict = [&asked, answer](tavik::TArchivFormatAbstract&, const std::string& path) {
            asked.push_back(path);
            return answer;
        };
        EXPECT_TRUE(engine->ExecuteArchivExtract()) << engine->LastError();
        EXPECT_EQ(asked, (std::vector<std::string>{(target / "a.txt").string()}));  // same content: no question
        const bool yes = answer == tavik::TArchivConflictAnswer::Yes;
        EXPECT_EQ(testsupport::ReadFile(target / "a.txt"), yes ? "zweite" : "erste");
    }
}

TEST_F(ExtractNames, TarEntriesOfTheSameNameAreAConflictToo) {
    auto engine = Extractor(TArchivFormat::Other, Tar(R"([
        ["d/a.txt", "f", "erste"],
        ["d/a.txt", "f", "zweite"],
        ["d/l", "l", "a.txt"],
        ["d/l", "l", "b.txt"],
        ["d/l", "l", "a.txt"]
    ])"));
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_EQ(testsupport::ReadFile(target / "d/a.txt"), "erste");
    EXPECT_EQ(fs::read_symlink(target / "d/l"), "a.txt");
    EXPECT_EQ(recorder.errorItems, (std::vector<std::string>{"d/a.txt", "d/l"}));
    engine->OnConflict = [](tavik::TArchivFormatAbstract&, const std::string&) {
        return tavik::TArchivConflictAnswer::YesAll;
    };
    EXPECT_TRUE(engine->ExecuteArchivExtract()) << engine->LastError();
    EXPECT_EQ(testsupport::ReadFile(target / "d/a.txt"), "zweite");
    EXPECT_EQ(fs::read_symlink(target / "d/l"), "a.txt");
}

TEST_F(ExtractNames, TheCommandLineReportsADuplicateNameAndGoesOn) {
    const std::string archive = Zip(kTwice);
    const auto run = Tool({Cli(), "extract", archive, target.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(std::string("„a.txt“: ") + tavik::kArchivConflictRefused), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--overwrite"), std::string::npos) << run.err;
    EXPECT_EQ(ReadTree(target), (TTree{{"a.txt", "erste"}, {"b.txt", "gleich"}, {"c.txt", "drei"}}));
    fs::remove_all(target);
    const auto overwrite = Tool({Cli(), "extract", "--overwrite", archive, target.string()});
    EXPECT_EQ(overwrite.status, 0) << overwrite.err;
    EXPECT_EQ(ReadTree(target), (TTree{{"a.txt", "zweite"}, {"b.txt", "gleich"}, {"c.txt", "drei"}}));
}

}  // namespace
}  // namespace archivtest
