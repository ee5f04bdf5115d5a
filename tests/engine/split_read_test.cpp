// Finding and reading split sets that independent tools wrote.
#include <gtest/gtest.h>

#include "tests/engine/split_test_helpers.h"

namespace {

using namespace splittest;
using tavik::FindSplitSet;
using tavik::TSplitSet;

class SplitReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        files = SampleFiles();
        WriteFiles(temp.path(), files);
    }
    std::string P(const std::string& name) const { return (temp / name).string(); }

    testsupport::TempDir temp;
    TContents files;
};

TEST_F(SplitReadTest, InfoZipSetIsFoundFromEachVolume) {
    InfoZip(temp.path(), "set.zip", files, "64k");
    ASSERT_TRUE(fs::exists(temp / "set.z04"));
    for (const std::string start : {"set.zip", "set.z01", "set.z03"}) {
        const std::optional<TSplitSet> set = FindSplitSet(P(start));
        ASSERT_TRUE(set) << start;
        EXPECT_EQ(set->kind, TSplitSet::Kind::Zip);
        ASSERT_GE(set->volumes.size(), 5u);
        EXPECT_EQ(set->volumes.front(), P("set.z01"));
        EXPECT_EQ(set->volumes[1], P("set.z02"));
        EXPECT_EQ(set->volumes.back(), P("set.zip"));
    }
}

TEST_F(SplitReadTest, OrdinaryFilesAreNoSets) {
    InfoZip(temp.path(), "plain.zip", files);
    EXPECT_FALSE(FindSplitSet(P("plain.zip")));
    EXPECT_FALSE(FindSplitSet(P("fehlt.zip")));
    // Archive runs name their archives like this; a number is no byte-split piece.
    fs::copy_file(temp / "plain.zip", temp / "SK250101.001");
    testsupport::WriteFile(temp / "SK250101.002", "x");
    EXPECT_FALSE(FindSplitSet(P("SK250101.001")));
    // A stray first volume beside an archive whose end record says it is whole.
    testsupport::WriteFile(temp / "plain.z01", "alt");
    EXPECT_FALSE(FindSplitSet(P("plain.zip")));
}

TEST_F(SplitReadTest, InfoZipSetReadsThroughLibzip) {
    InfoZip(temp.path(), "set.zip", files, "64k");
    EXPECT_EQ(ReadSet(P("set.z02")), files);
    // libzip's strict consistency check agrees with the rewritten directory.
    EXPECT_EQ(ReadSet(P("set.zip"), ZIP_CHECKCONS), files);
}

TEST_F(SplitReadTest, InfoZipZip64SetReadsThroughLibzip) {
    std::vector<std::string> argv{"zip", "-q", "-X", "-fz", "-s", "64k", "gross.zip"};
    for (const auto& entry : files) argv.push_back(entry.first);
    ASSERT_EQ(RunTool(argv, temp.str()).status, 0);
    EXPECT_EQ(ReadSet(P("gross.zip"), ZIP_CHECKCONS), files);
}

TEST_F(SplitReadTest, SevenZipByteSplitSetReads) {
    std::vector<std::string> argv{"7zz", "a", "-tzip", "-v100k", "-bd", "stueck.zip"};
    for (const auto& entry : files) argv.push_back(entry.first);
    ASSERT_EQ(RunTool(argv, temp.str()).status, 0);
    ASSERT_TRUE(fs::exists(temp / "stueck.zip.003"));
    const std::optional<TSplitSet> set = FindSplitSet(P("stueck.zip.002"));
    ASSERT_TRUE(set);
    EXPECT_EQ(set->kind, TSplitSet::Kind::ByteSplit);
    EXPECT_EQ(set->volumes.front(), P("stueck.zip.001"));
    EXPECT_EQ(ReadSet(P("stueck.zip.001")), files);
}

TEST_F(SplitReadTest, MissingVolumeIsNamed) {
    InfoZip(temp.path(), "set.zip", files, "64k");
    fs::rename(temp / "set.z02", temp / "weg.z02");
    EXPECT_NE(Refusal([&] { FindSplitSet(P("set.zip")); }).find("set.z02"), std::string::npos);
    EXPECT_NE(Refusal([&] { FindSplitSet(P("set.z03")); }).find("set.z02"), std::string::npos);
    fs::rename(temp / "weg.z02", temp / "set.z02");

    fs::rename(temp / "set.z01", temp / "weg.z01");
    EXPECT_NE(Refusal([&] { FindSplitSet(P("set.zip")); }).find("set.z01"), std::string::npos);
    fs::rename(temp / "weg.z01", temp / "set.z01");

    fs::rename(temp / "set.zip", temp / "weg.zip");
    const std::string message = Refusal([&] { FindSplitSet(P("set.z01")); });
    EXPECT_NE(message.find("set.zip"), std::string::npos) << message;
    EXPECT_NE(message.find("fehlt"), std::string::npos) << message;
}

TEST_F(SplitReadTest, MissingPieceOfByteSplitSetIsNamed) {
    std::vector<std::string> argv{"7zz", "a", "-tzip", "-v100k", "-bd", "stueck.zip"};
    for (const auto& entry : files) argv.push_back(entry.first);
    ASSERT_EQ(RunTool(argv, temp.str()).status, 0);
    fs::remove(temp / "stueck.zip.002");
    EXPECT_NE(Refusal([&] { FindSplitSet(P("stueck.zip.001")); }).find("stueck.zip.002"), std::string::npos);
    fs::remove(temp / "stueck.zip.003");
    // The last piece: nothing follows it to show the gap, the missing end record does.
    const std::optional<TSplitSet> set = FindSplitSet(P("stueck.zip.001"));
    ASSERT_TRUE(set);
    const std::string message = Refusal([&] { zip_source_free(tavik::CreateSplitSetSource(*set)); });
    EXPECT_NE(message.find("stueck.zip.002"), std::string::npos) << message;
}

// Mutated and truncated volumes end in a refusal or a libzip error, never a crash or a hang.
TEST_F(SplitReadTest, DamagedVolumesFailCleanly) {
    InfoZip(temp.path(), "set.zip", files, "64k");
    const std::vector<std::string> volumes = FindSplitSet(P("set.zip"))->volumes;
    std::map<std::string, std::string> original;
    for (const std::string& v : volumes) original[v] = testsupport::ReadFile(v);

    // Without its end the last volume is refused outright.
    const std::string& last = volumes.back();
    testsupport::WriteFile(last, original[last].substr(0, original[last].size() - 10));
    EXPECT_FALSE(Refusal([&] { zip_source_free(tavik::CreateSplitSetSource(*FindSplitSet(P("set.z01")))); }).empty());
    testsupport::WriteFile(last, original[last]);

    std::mt19937 random(42);
    int failures = 0;
    for (int round = 0; round < 300; ++round) {
        const std::string& victim = volumes[random() % volumes.size()];
        std::string bytes = original[victim];
        // Mostly the last volume, where the directory lives; sometimes a cut.
        if (round % 10 == 0) {
            bytes.resize(random() % bytes.size());
        } else {
            const std::size_t region = victim == last ? bytes.size() - std::min<std::size_t>(bytes.size(), 400) : 0;
            for (int k = 0; k < 3; ++k) bytes[region + random() % (bytes.size() - region)] = static_cast<char>(random());
        }
        testsupport::WriteFile(victim, bytes);
        try {
            if (ReadSet(P("set.zip")) != files) ++failures;
        } catch (const std::exception&) {
            ++failures;
        }
        testsupport::WriteFile(victim, original[victim]);
    }
    EXPECT_GT(failures, 100);
    EXPECT_EQ(ReadSet(P("set.zip")), files);
}

}  // namespace
