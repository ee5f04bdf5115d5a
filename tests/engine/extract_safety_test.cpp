// Hostile archives: nothing is written outside the target directory, the harmless entries
// are extracted all the same, and every refused entry is reported as an item error.
#include <sys/stat.h>

#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;

// Builds a ZIP with Python's zipfile from (name, content, unix mode) triples.
const char* const kBuildZip = R"(
import sys, zipfile, json
entries = json.loads(sys.argv[2])
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for name, content, mode in entries:
        info = zipfile.ZipInfo(name)
        info.external_attr = mode << 16
        info.create_system = 3
        z.writestr(info, content)
)";

class ExtractSafety : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(target); }

    // Everything that exists in the scratch directory outside the target.
    std::vector<std::string> Outside() {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
            const fs::path relative = fs::relative(entry.path(), dir.path());
            if (*relative.begin() != "ziel" && relative != "boese.zip" && relative != "boese.tar")
                names.push_back(relative.string());
        }
        return Sorted(names);
    }

    testsupport::TempDir dir;
    fs::path target = dir.path() / "ziel" / "innen";
    TRecorder recorder;
};

TEST_F(ExtractSafety, ZipWithTraversalAbsoluteDriveAndBackslashNamesStaysInside) {
    const std::string archive = (dir / "boese.zip").string();
    Python(kBuildZip, {archive, R"([
        ["gut/eins.txt", "eins", 33188],
        ["../raus.txt", "raus", 33188],
        ["gut/../../raus2.txt", "raus", 33188],
        ["/tmp/absolut-vendrask.txt", "abs", 33188],
        ["C:/windows.txt", "laufwerk", 33188],
        ["c:raus3.txt", "laufwerk", 33188],
        ["..\\..\\raus4.txt", "backslash", 33188],
        ["gut\\..\\..\\raus5.txt", "backslash", 33188],
        ["gut/zwei.txt", "zwei", 33188]
    ])"});
    auto engine = Engine(TArchivFormat::Zip, archive);
    recorder.Attach(*engine);
    engine->ExtractDir = target.string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_EQ(ReadTree(target), (TTree{{"gut/eins.txt", "eins"}, {"gut/zwei.txt", "zwei"}}));
    EXPECT_EQ(recorder.errorItems.size(), 7u);
    for (const auto kind : recorder.errorKinds) EXPECT_EQ(kind, tavik::TArchivErrorKind::Item);
    EXPECT_TRUE(Outside().empty());
    EXPECT_FALSE(fs::exists("/tmp/absolut-vendrask.txt"));
    EXPECT_FALSE(engine->LastError().empty());
    EXPECT_EQ(recorder.ends, 1);
}

TEST_F(ExtractSafety, ZipSymlinkPointingOutsideIsRefusedAndNotWrittenThrough) {
    const std::string archive = (dir / "boese.zip").string();
    // 0120777: a symbolic link; its content is the target.
    Python(kBuildZip, {archive, R"([
        ["link", "../../", 41471],
        ["link/raus.txt", "raus", 33188],
        ["abs", "/etc", 41471],
        ["innen-ok", "gut/eins.txt", 41471],
        ["gut/eins.txt", "eins", 33188],
        ["gut/hoch", "../gut", 41471],
        ["gut/hoch/../../raus2.txt", "raus", 33188]
    ])"});
    auto engine = Engine(TArchivFormat::Zip, archive);
    recorder.Attach(*engine);
    engine->ExtractDir = target.string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_TRUE(Outside().empty());
    // The refused link leaves room for an ordinary directory of that name, inside the target.
    EXPECT_FALSE(fs::is_symlink(target / "link"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(target / "abs")));
    EXPECT_TRUE(fs::is_symlink(target / "innen-ok"));
    EXPECT_EQ(fs::read_symlink(target / "innen-ok"), "gut/eins.txt");
    EXPECT_EQ(testsupport::ReadFile(target / "gut/eins.txt"), "eins");
}

TEST_F(ExtractSafety, ExistingSymlinkInTheTargetIsNotFollowed) {
    fs::create_directories(dir / "draussen");
    fs::create_directory_symlink(dir / "draussen", target / "sub");
    fs::create_symlink(dir / "draussen/opfer.txt", target / "datei.txt");
    const std::string archive = (dir / "boese.zip").string();
    Python(kBuildZip, {archive, R"([
        ["sub/x.txt", "x", 33188],
        ["datei.txt", "neu", 33188]
    ])"});
    auto engine = Engine(TArchivFormat::Zip, archive);
    recorder.Attach(*engine);
    engine->ExtractDir = target.string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());  // sub/x.txt is refused, and the link is no file of ours
    EXPECT_TRUE(fs::is_empty(dir / "draussen"));
    EXPECT_TRUE(fs::is_symlink(target / "datei.txt"));
    // Allowed to replace it, the link itself is replaced by the file; its old target is untouched.
    engine->OnConflict = [](tavik::TArchivFormatAbstract&, const std::string&) {
        return tavik::TArchivConflictAnswer::Yes;
    };
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_TRUE(fs::is_empty(dir / "draussen"));
    EXPECT_FALSE(fs::is_symlink(target / "datei.txt"));
    EXPECT_EQ(testsupport::ReadFile(target / "datei.txt"), "neu");
}

TEST_F(ExtractSafety, TarWithTraversalAndOutsideLinksStaysInside) {
    const std::string archive = (dir / "boese.tar").string();
    Python(R"(
import io, sys, tarfile
def add(t, name, data=b'', kind=tarfile.REGTYPE, link=''):
    info = tarfile.TarInfo(name)
    info.type = kind
    info.linkname = link
    info.size = len(data)
    t.addfile(info, io.BytesIO(data) if data else None)
with tarfile.open(sys.argv[1], 'w', format=tarfile.GNU_FORMAT) as t:
    add(t, 'gut/eins.txt', b'eins')
    add(t, '../raus.txt', b'raus')
    add(t, '/tmp/absolut-vendrask-tar.txt', b'abs')
    add(t, 'link', kind=tarfile.SYMTYPE, link='/etc')
    add(t, 'link/passwd', b'raus')
    add(t, 'hart', kind=tarfile.LNKTYPE, link='../../etwas')
    add(t, 'gut/hart-ok', kind=tarfile.LNKTYPE, link='gut/eins.txt')
    add(t, 'gut/zwei.txt', b'zwei')
)",
           {archive});
    auto engine = Engine(TArchivFormat::Other, archive);
    recorder.Attach(*engine);
    engine->ExtractDir = target.string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_TRUE(Outside().empty());
    EXPECT_FALSE(fs::exists("/tmp/absolut-vendrask-tar.txt"));
    EXPECT_EQ(ReadTree(target),
              (TTree{{"gut/eins.txt", "eins"}, {"gut/hart-ok", "eins"}, {"gut/zwei.txt", "zwei"},
                     {"link/passwd", "raus"}}));  // an ordinary directory: the link was refused
    EXPECT_FALSE(fs::is_symlink(target / "link"));
    EXPECT_EQ(recorder.errorItems.size(), 4u);
}

TEST_F(ExtractSafety, KeptHostileArchiveFromTestData) {
    const fs::path kept = fs::path(testsupport::TestDataDir()) / "zip-slip-traversal.zip";
    ASSERT_TRUE(fs::exists(kept)) << kept;
    auto engine = Engine(TArchivFormat::Zip, kept.string());
    recorder.Attach(*engine);
    engine->ExtractDir = target.string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_TRUE(Outside().empty());
    EXPECT_EQ(ReadTree(target), (TTree{{"harmlos.txt", "harmlos\n"}}));
}

}  // namespace
}  // namespace archivtest
