// Format 1: tar and its compressed forms, 7z and cpio read through libarchive; text is no archive.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivVerifyMode;

class OtherFormat : public ::testing::TestWithParam<std::vector<std::string>> {
protected:
    void SetUp() override { WriteTree(dir / "src", SampleTree()); }
    testsupport::TempDir dir;
};

TEST_P(OtherFormat, ListsVerifiesAndExtracts) {
    std::vector<std::string> command = GetParam();
    const std::string archive = (dir / command.back()).string();
    command.back() = archive;
    command.push_back("daten");
    const auto made = Tool(command, (dir / "src").string());
    ASSERT_EQ(made.status, 0) << made.err;

    auto engine = Engine(TArchivFormat::Other, archive);
    TRecorder recorder;
    recorder.Attach(*engine);
    ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
    const std::vector<std::string> names = EntryNames(*engine);
    for (const auto& [name, content] : SampleTree())
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Simple)) << engine->LastError();
    EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << engine->LastError();
    EXPECT_EQ(recorder.lastDone, recorder.lastTotal);
    engine->ExtractDir = (dir / "out").string();
    ASSERT_TRUE(engine->ExecuteArchivExtract()) << engine->LastError();
    EXPECT_EQ(ReadTree(dir / "out"), SampleTree());

    // One entry by its position in the list.
    int position = -1;
    for (int i = 0; i < engine->GetArchivItemsCount(); ++i)
        if (engine->GetArchivItem(i).FileName == "beleg.txt") position = i;
    ASSERT_GE(position, 0);
    engine->ExtractDir = (dir / "eins").string();
    ASSERT_TRUE(engine->ExecuteArchivExtract({position})) << engine->LastError();
    EXPECT_EQ(ReadTree(dir / "eins"), (TTree{{"daten/beleg.txt", TextRecords(3000)}}));
}

INSTANTIATE_TEST_SUITE_P(Tools, OtherFormat,
                         ::testing::Values(std::vector<std::string>{"bsdtar", "-cf", "a.tar"},
                                           std::vector<std::string>{"bsdtar", "-czf", "a.tar.gz"},
                                           std::vector<std::string>{"bsdtar", "-cJf", "a.tar.xz"},
                                           std::vector<std::string>{"bsdtar", "--format", "cpio", "-cf", "a.cpio"},
                                           std::vector<std::string>{"7zz", "a", "-bso0", "a.7z"}));

TEST(OtherFormatRefusal, TextAndDataFilesAreNoArchive) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "liste.txt", "Dies ist nur eine Liste.\nZeile zwei\n");
    testsupport::WriteFile(dir / "daten.bin", Incompressible(5000, 1));
    testsupport::WriteFile(dir / "leer", "");
    for (const char* name : {"liste.txt", "daten.bin", "leer"}) {
        auto engine = Engine(TArchivFormat::Other, (dir / name).string());
        EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Simple)) << name;
        EXPECT_FALSE(engine->LastError().empty());
        EXPECT_FALSE(engine->ExecuteArchivList()) << name;
    }
}

TEST(OtherFormatRefusal, WritingIsRefusedWithAReason) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "x.txt", "x");
    const auto tar = Tool({"bsdtar", "-cf", (dir / "a.tar").string(), "x.txt"}, dir.str());
    ASSERT_EQ(tar.status, 0);
    const std::string before = testsupport::ReadFile(dir / "a.tar");
    auto engine = Engine(TArchivFormat::Other, (dir / "a.tar").string());
    engine->FileItemAdd((dir / "x.txt").string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(true));
    EXPECT_NE(engine->LastError().find("nur gelesen"), std::string::npos);
    EXPECT_FALSE(engine->Span((dir / "a.tar").string(), dir.str(), 100000));
    EXPECT_FALSE(engine->Merge((dir / "a.tar").string(), dir.str()));
    EXPECT_EQ(testsupport::ReadFile(dir / "a.tar"), before);
}

}  // namespace
}  // namespace archivtest

namespace archivtest {
namespace {

const char* const kMakeTars = R"(
import io, sys, tarfile
out = sys.argv[1]
def add(t, name, kind=tarfile.REGTYPE, data=b''):
    info = tarfile.TarInfo(name)
    info.type = kind
    info.size = len(data)
    info.mode = 0o755 if kind == tarfile.DIRTYPE else 0o644
    t.addfile(info, io.BytesIO(data))
with tarfile.open(out + '/verzeichnisse.tar', 'w', format=tarfile.USTAR_FORMAT) as t:
    add(t, './', tarfile.DIRTYPE)
    add(t, 'steuer\x01zeichen/', tarfile.DIRTYPE)
    add(t, '/absolut/', tarfile.DIRTYPE)
    add(t, 'gut/', tarfile.DIRTYPE)
    add(t, 'gut/a.txt', data=b'alpha')
with tarfile.open(out + '/zwei.tar', 'w', format=tarfile.USTAR_FORMAT) as t:
    add(t, 'a.txt', data=b'alpha')
    add(t, 'b.txt', data=b'bravo')
data = open(out + '/zwei.tar', 'rb').read()
open(out + '/luecke.tar', 'wb').write(data[:1024] + b'X' * 512 + data[1024:])
)";

TEST(OtherFormatEntries, RefusedDirectoriesAreItemErrorsAndDotIsTheTarget) {
    testsupport::TempDir dir;
    Python(kMakeTars, {dir.str()});
    auto engine = Engine(TArchivFormat::Other, (dir / "verzeichnisse.tar").string());
    TRecorder recorder;
    recorder.Attach(*engine);
    engine->ExtractDir = (dir / "aus").string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_EQ(recorder.errorItems, (std::vector<std::string>{"steuer\x01zeichen/", "/absolut/"}));
    EXPECT_NE(engine->LastError().find("2 Einträge"), std::string::npos) << engine->LastError();
    EXPECT_EQ(ReadTree(dir / "aus"), (TTree{{"gut/a.txt", "alpha"}}));
}

TEST(OtherFormatEntries, BytesSkippedBeforeAHeaderFailListAndCheck) {
    testsupport::TempDir dir;
    Python(kMakeTars, {dir.str()});
    auto engine = Engine(TArchivFormat::Other, (dir / "luecke.tar").string());
    EXPECT_FALSE(engine->ExecuteArchivList());
    EXPECT_EQ(EntryNames(*engine), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    EXPECT_NE(engine->LastError().find("zwischen den Einträgen „a.txt“ und „b.txt“"), std::string::npos)
        << engine->LastError();
    auto sound = Engine(TArchivFormat::Other, (dir / "zwei.tar").string());
    EXPECT_TRUE(sound->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << sound->LastError();
}

TEST(OtherFormatEntries, TheArNameTableIsNoEntryAndMembersAreFiles) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "eine_sehr_lange_datei_mit_namen.txt", "lang\n");
    testsupport::WriteFile(dir / "k.txt", "kurz\n");
    const auto made = Tool({"ar", "rc", "lib.a", "eine_sehr_lange_datei_mit_namen.txt", "k.txt"}, dir.str());
    ASSERT_EQ(made.status, 0) << made.err;
    auto engine = Engine(TArchivFormat::Other, (dir / "lib.a").string());
    ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
    EXPECT_EQ(EntryNames(*engine), (std::vector<std::string>{"eine_sehr_lange_datei_mit_namen.txt", "k.txt"}));
    EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << engine->LastError();
    engine->ExtractDir = (dir / "aus").string();
    ASSERT_TRUE(engine->ExecuteArchivExtract()) << engine->LastError();
    EXPECT_EQ(ReadTree(dir / "aus"), (TTree{{"eine_sehr_lange_datei_mit_namen.txt", "lang\n"}, {"k.txt", "kurz\n"}}));
}

TEST(OtherFormatEntries, AnArchiveWithEncryptedHeadersSaysItIsEncrypted) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "k.txt", "kurz\n");
    const auto made = Tool({"7zz", "a", "-bso0", "-pgeheim", "-mhe=on", "geheim.7z", "k.txt"}, dir.str());
    ASSERT_EQ(made.status, 0) << made.err;
    auto engine = Engine(TArchivFormat::Other, (dir / "geheim.7z").string());
    EXPECT_FALSE(engine->ExecuteArchivList());
    EXPECT_NE(engine->LastError().find("verschlüsselt"), std::string::npos) << engine->LastError();
    EXPECT_EQ(engine->LastError().find("beschädigt"), std::string::npos) << engine->LastError();
}

}  // namespace
}  // namespace archivtest
