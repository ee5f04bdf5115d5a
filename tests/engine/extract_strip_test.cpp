// Extraction that drops leading parts of the entry names (as a restore into a host directory
// outside the root does): both formats, hard links among them, and an entry with nothing left.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;

class ExtractStrip : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTree(dir.path() / "src", {{"EXTERN/abzug/liste.txt", "liste"}, {"EXTERN/kopf.txt", "kopf"}});
    }
    void Extract(TArchivFormat format, const std::string& archive) {
        auto engine = Engine(format, archive);
        recorder.Attach(*engine);
        engine->ExtractDir = (dir.path() / "ziel").string();
        engine->ExtractStripParts = 1;
        ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
        // With the item errors skipped the command still reports that one failed.
        EXPECT_FALSE(engine->ExecuteArchivExtract());
    }

    testsupport::TempDir dir;
    TRecorder recorder;
};

TEST_F(ExtractStrip, ZipEntriesLoseTheirFirstPartAndTheDirectoryItselfIsRefused) {
    ASSERT_EQ(Tool({"zip", "-qr", "../a.zip", "EXTERN"}, (dir.path() / "src").string()).status, 0);
    Extract(TArchivFormat::Zip, (dir.path() / "a.zip").string());
    EXPECT_EQ(ReadTree(dir.path() / "ziel"), (TTree{{"abzug/liste.txt", "liste"}, {"kopf.txt", "kopf"}}));
    // "EXTERN/" names the target itself.
    EXPECT_EQ(recorder.errorItems, (std::vector<std::string>{"EXTERN/"}));
}

TEST_F(ExtractStrip, TarEntriesAndHardLinksLoseTheirFirstPart) {
    fs::create_hard_link(dir.path() / "src/EXTERN/kopf.txt", dir.path() / "src/EXTERN/abzug/zweiter.txt");
    ASSERT_EQ(Tool({"tar", "-cf", "../a.tar", "EXTERN"}, (dir.path() / "src").string()).status, 0);
    Extract(TArchivFormat::Other, (dir.path() / "a.tar").string());
    EXPECT_EQ(ReadTree(dir.path() / "ziel"),
              (TTree{{"abzug/liste.txt", "liste"}, {"abzug/zweiter.txt", "kopf"}, {"kopf.txt", "kopf"}}));
    EXPECT_EQ(recorder.errorItems, (std::vector<std::string>{"EXTERN/"}));
}

}  // namespace
}  // namespace archivtest
