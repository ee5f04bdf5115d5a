// Damaged archives: the complete check finds changed data, and mutated or truncated archives
// give failures, never crashes or hangs, in every command.
#include <random>

#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivVerifyMode;

class ArchivDamage : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTree(dir / "src", {{"daten/text.txt", TextRecords(2000)}, {"daten/zufall.bin", Incompressible(20'000, 9)}});
        const auto zip = Tool({"zip", "-qr", (dir / "gut.zip").string(), "daten"}, (dir / "src").string());
        ASSERT_EQ(zip.status, 0) << zip.err;
        original = testsupport::ReadFile(dir / "gut.zip");
    }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = (dir / name).string();
        testsupport::WriteFile(path, bytes);
        return path;
    }

    // Runs every reading command; they may fail but must come back, with a reason when false.
    void ExerciseAll(TArchivFormat format, const std::string& path) {
        auto engine = Engine(format, path);
        int ends = 0;
        engine->OnCommandEnd = [&ends](tavik::TArchivFormatAbstract&, tavik::TArchivCommand) { ++ends; };
        engine->OnError = [](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind,
                             const std::string&, const std::string&, bool& flag) { flag = true; };
        engine->ExtractDir = (dir / "out").string();
        const bool results[] = {engine->ExecuteArchivList(), engine->ExecuteArchivVerify(TArchivVerifyMode::Simple),
                                engine->ExecuteArchivVerify(TArchivVerifyMode::Complete),
                                engine->ExecuteArchivExtract()};
        EXPECT_EQ(ends, 4);
        if (!results[3]) {
            EXPECT_FALSE(engine->LastError().empty());
        }
        fs::remove_all(dir / "out");
    }

    testsupport::TempDir dir;
    std::string original;
};

TEST_F(ArchivDamage, CompleteCheckFindsAChangedByteThatTheSimpleCheckMisses) {
    std::string bytes = original;
    const std::size_t at = bytes.find("Beleg 1000");  // none: the text is deflated; change the middle instead
    const std::size_t position = at != std::string::npos ? at : bytes.size() / 3;
    bytes[position] = static_cast<char>(bytes[position] ^ 0x55);
    const std::string path = Write("kaputt.zip", bytes);
    auto engine = Engine(TArchivFormat::Zip, path);
    EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Simple)) << engine->LastError();
    TRecorder recorder;
    recorder.Attach(*engine);
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    EXPECT_EQ(recorder.errorItems.size(), 1u);
    EXPECT_FALSE(engine->LastError().empty());
    EXPECT_NE(Tool({"unzip", "-tq", path}).status, 0);  // Info-ZIP agrees
}

TEST_F(ArchivDamage, ChangedStoredDataIsFoundByTheCrc) {
    const auto zip = Tool({"zip", "-q0r", (dir / "stored.zip").string(), "daten"}, (dir / "src").string());
    ASSERT_EQ(zip.status, 0);
    std::string bytes = testsupport::ReadFile(dir / "stored.zip");
    const std::size_t at = bytes.find("Beleg 1000;");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'X';
    const std::string path = Write("stored-kaputt.zip", bytes);
    auto engine = Engine(TArchivFormat::Zip, path);
    EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Simple));
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    EXPECT_NE(engine->LastError().find("CRC"), std::string::npos) << engine->LastError();
    // Extraction reports it too and leaves no damaged file behind.
    engine->ExtractDir = (dir / "out").string();
    engine->OnError = [](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind,
                         const std::string&, const std::string&, bool& flag) { flag = true; };
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_FALSE(fs::exists(dir / "out/daten/text.txt"));
    EXPECT_TRUE(fs::exists(dir / "out/daten/zufall.bin"));
}

TEST_F(ArchivDamage, LocalHeaderDisagreeingWithTheDirectoryFailsTheSimpleCheck) {
    std::string bytes = original;
    // The first local header's name: "daten/" -> "datem/".
    ASSERT_EQ(bytes.substr(30, 6), "daten/");
    bytes[34] = 'm';
    const std::string path = Write("kopf.zip", bytes);
    auto engine = Engine(TArchivFormat::Zip, path);
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Simple));
    EXPECT_NE(engine->LastError().find("Namen"), std::string::npos) << engine->LastError();
}

TEST_F(ArchivDamage, TruncatedArchivesFail) {
    for (const std::size_t keep : {std::size_t{0}, std::size_t{10}, original.size() / 2, original.size() - 30,
                                   original.size() - 1}) {
        const std::string path = Write("kurz.zip", original.substr(0, keep));
        auto engine = Engine(TArchivFormat::Zip, path);
        EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << keep;
        EXPECT_FALSE(engine->LastError().empty());
        ExerciseAll(TArchivFormat::Zip, path);
        ExerciseAll(TArchivFormat::Other, path);
    }
}

TEST_F(ArchivDamage, RandomMutationsNeverCrashOrHang) {
    std::mt19937 random(20261207);
    const auto tar = Tool({"bsdtar", "-czf", (dir / "gut.tar.gz").string(), "daten"}, (dir / "src").string());
    ASSERT_EQ(tar.status, 0);
    const std::string tarBytes = testsupport::ReadFile(dir / "gut.tar.gz");
    for (int round = 0; round < 40; ++round) {
        std::string zipBytes = original;
        std::string tgzBytes = tarBytes;
        for (int k = 0; k < 1 + round % 5; ++k) {
            zipBytes[random() % zipBytes.size()] = static_cast<char>(random());
            tgzBytes[random() % tgzBytes.size()] = static_cast<char>(random());
        }
        ExerciseAll(TArchivFormat::Zip, Write("m.zip", zipBytes));
        ExerciseAll(TArchivFormat::Other, Write("m.tgz", tgzBytes));
    }
}

TEST_F(ArchivDamage, MissingFileFailsWithAReason) {
    for (const TArchivFormat format : {TArchivFormat::Zip, TArchivFormat::Other}) {
        auto engine = Engine(format, (dir / "gibtsnicht.zip").string());
        EXPECT_FALSE(engine->ExecuteArchivList());
        EXPECT_FALSE(engine->LastError().empty());
    }
}

}  // namespace
}  // namespace archivtest
