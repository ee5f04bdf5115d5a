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
