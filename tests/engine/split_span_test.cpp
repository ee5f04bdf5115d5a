// Spanning and merging, checked by independent tools.
#include <gtest/gtest.h>

#include "host/engine/split/split_reader.h"
#include "tests/engine/split_test_helpers.h"

namespace {

using namespace splittest;
using tavik::MergeArchive;
using tavik::SpanArchive;

constexpr std::int64_t k64K = 65536;

class SplitSpanTest : public ::testing::Test {
protected:
    void SetUp() override {
        files = SampleFiles();
        WriteFiles(temp / "quelle", files);
        fs::create_directories(temp / "aus");
    }
    std::string P(const std::string& name) const { return (temp / name).string(); }
    std::string Out() const { return P("aus"); }

    void ExpectToolsAccept(const std::string& archive) {
        const auto seven = RunTool({"7zz", "t", "-bd", archive});
        EXPECT_EQ(seven.status, 0) << seven.out << seven.err;
        EXPECT_NE(seven.out.find("Everything is Ok"), std::string::npos) << seven.out;
    }
    void ExpectUnzipAccepts(const std::string& archive) {
        const auto unzip = RunTool({"unzip", "-t", archive});
        EXPECT_EQ(unzip.status, 0) << unzip.out << unzip.err;
    }

    testsupport::TempDir temp;
    TContents files;
};

TEST_F(SplitSpanTest, OwnVolumesFollowTheFormat) {
    InfoZip(temp / "quelle", "../archiv.zip", files);
    SpanArchive(P("archiv.zip"), Out(), k64K, nullptr);
    const std::vector<std::string> names = FileNames(temp / "aus");
    ASSERT_GE(names.size(), 5u);
    EXPECT_EQ(names.front(), "archiv.z01");
    EXPECT_EQ(names.back(), "archiv.zip");
    for (const std::string& name : names) EXPECT_LE(fs::file_size(temp / "aus" / name), 65536u) << name;
    EXPECT_EQ(testsupport::ReadFile(temp / "aus" / "archiv.z01").substr(0, 4), std::string("PK\x07\x08", 4));

    // No local header and no directory header crosses the end of its volume.
    const auto set = tavik::FindSplitSet(Out() + "/archiv.zip");
    ASSERT_TRUE(set);
    tavik::split::TSplitArchive archive(set->volumes.back(), set);
    for (const auto& entry : archive.Entries()) {
        const auto& h = entry.header;
        const std::string volume = set->volumes.at(h.diskStart);
        const std::string bytes = testsupport::ReadFile(volume);
        ASSERT_LE(h.localOffset + 30, bytes.size());
        const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data()) + h.localOffset;
        EXPECT_EQ(tavik::zip::Get32(p), tavik::zip::kLocalHeaderSig);
        EXPECT_LE(h.localOffset + 30 + tavik::zip::Get16(p + 26) + tavik::zip::Get16(p + 28), bytes.size());
    }
    EXPECT_EQ(ReadSet(Out() + "/archiv.zip", ZIP_CHECKCONS), files);
}

TEST_F(SplitSpanTest, VolumesMatchInfoZipSplitByteForByte) {
    InfoZip(temp / "quelle", "../archiv.zip", files);
    fs::create_directories(temp / "iz");
    InfoZip(temp / "quelle", "../iz/archiv.zip", files, "64k");
    SpanArchive(P("archiv.zip"), Out(), k64K, nullptr);
    const std::vector<std::string> names = FileNames(temp / "iz");
    ASSERT_EQ(FileNames(temp / "aus"), names);
    for (const std::string& name : names)
        EXPECT_EQ(testsupport::ReadFile(temp / "aus" / name), testsupport::ReadFile(temp / "iz" / name)) << name;
}

TEST_F(SplitSpanTest, HundredthVolumeIsNamedZ100) {
    const TContents big{{"gross.bin", RandomBytes(101 * 65536, 11)}};
    WriteFiles(temp / "quelle", big);
    ASSERT_EQ(RunTool({"zip", "-q", "-X", "-0", "../viele.zip", "gross.bin"}, P("quelle")).status, 0);
    SpanArchive(P("viele.zip"), Out(), k64K, nullptr);
    EXPECT_TRUE(fs::exists(temp / "aus" / "viele.z99"));
    EXPECT_TRUE(fs::exists(temp / "aus" / "viele.z100"));
    EXPECT_FALSE(fs::exists(temp / "aus" / "viele.z0100"));
    const auto set = tavik::FindSplitSet(Out() + "/viele.z100");
    ASSERT_TRUE(set);
    EXPECT_EQ(set->volumes.size(), 102u);
    ExpectToolsAccept(Out() + "/viele.zip");
    EXPECT_EQ(ReadSet(Out() + "/viele.zip"), big);
}

// A header that fits into no volume stops the run after volumes were written; none remains.
TEST_F(SplitSpanTest, FailureHalfwayLeavesNothing) {
    const auto python = RunTool({"python3", "-c",
                                 "import os, zipfile\n"
                                 "with zipfile.ZipFile('../kopf.zip', 'w') as z:\n"
                                 "    z.write('daten/beleg1.bin')\n"
                                 "    info = zipfile.ZipInfo('riesenkopf.txt')\n"
                                 "    info.extra = b'\\x99\\x99' + (65496).to_bytes(2, 'little') + bytes(65496)\n"
                                 "    z.writestr(info, 'klein')\n"},
                                P("quelle"));
    ASSERT_EQ(python.status, 0) << python.err;
    std::int64_t written = 0;
    const std::string message = Refusal([&] {
        SpanArchive(P("kopf.zip"), Out(), k64K, [&](std::int64_t done, std::int64_t) {
            written = done;
            return true;
        });
    });
    EXPECT_NE(message.find("riesenkopf.txt"), std::string::npos) << message;
    EXPECT_NE(message.find("größere Teilgröße"), std::string::npos) << message;
    EXPECT_GT(written, 65536);
    EXPECT_TRUE(FileNames(temp / "aus").empty());
    // Larger volumes take it.
    SpanArchive(P("kopf.zip"), Out(), 200'000, nullptr);
    ExpectToolsAccept(Out() + "/kopf.zip");
}

// Thousands of small entries: the central directory itself runs over several volumes.
TEST_F(SplitSpanTest, CentralDirectoryAcrossVolumes) {
    TContents many;
    for (int i = 0; i < 1500; ++i) many["viele/beleg_" + std::to_string(i) + ".txt"] = "Beleg " + std::to_string(i);
    WriteFiles(temp / "klein", many);
    ASSERT_EQ(RunTool({"zip", "-q", "-X", "-r", "-s", "64k", "../izset.zip", "viele"}, P("klein")).status, 0);
    ASSERT_TRUE(fs::exists(temp / "izset.z02"));
    EXPECT_EQ(ReadSet(P("izset.zip"), ZIP_CHECKCONS), many);

    MergeArchive(P("izset.zip"), Out(), nullptr);
    ExpectUnzipAccepts(Out() + "/izset.zip");
    SpanArchive(Out() + "/izset.zip", P("quelle"), k64K, nullptr);
    const auto set = tavik::FindSplitSet(P("quelle/izset.zip"));
    ASSERT_TRUE(set);
    tavik::split::TSplitArchive archive(set->volumes.back(), set);
    EXPECT_LT(archive.CentralStart(), archive.Files().Start(archive.Files().Count() - 1));
    ExpectToolsAccept(P("quelle/izset.zip"));
    EXPECT_EQ(ReadSet(P("quelle/izset.z01"), ZIP_CHECKCONS), many);
}

TEST_F(SplitSpanTest, SevenZipAndInfoZipAcceptOwnVolumes) {
    InfoZip(temp / "quelle", "../archiv.zip", files);
    SpanArchive(P("archiv.zip"), Out(), 100'000, nullptr);
    ExpectToolsAccept(Out() + "/archiv.zip");
    // Info-ZIP's join reads the set and writes an ordinary archive.
    const auto join = RunTool({"zip", "-q", "-s", "0", Out() + "/archiv.zip", "--out", P("zip-join.zip")});
    ASSERT_EQ(join.status, 0) << join.out << join.err;
    ExpectUnzipAccepts(P("zip-join.zip"));
    EXPECT_EQ(ReadPlainZip(P("zip-join.zip")), files);
}

TEST_F(SplitSpanTest, SingleVolumeCarriesSingleSegmentMarker) {
    InfoZip(temp / "quelle", "../archiv.zip", files);
    SpanArchive(P("archiv.zip"), Out(), -1, nullptr);
    EXPECT_EQ(FileNames(temp / "aus"), std::vector<std::string>{"archiv.zip"});
    const std::string bytes = testsupport::ReadFile(temp / "aus" / "archiv.zip");
    EXPECT_EQ(bytes.substr(0, 4), std::string("PK00"));
    ExpectToolsAccept(Out() + "/archiv.zip");
    ExpectUnzipAccepts(Out() + "/archiv.zip");
    EXPECT_EQ(ReadPlainZip(Out() + "/archiv.zip"), files);
}

TEST_F(SplitSpanTest, SplitSetIsSpannedAnew) {
    InfoZip(temp / "quelle", "../set.zip", files, "64k");
    SpanArchive(P("set.z01"), Out(), 150'000, nullptr);
    EXPECT_TRUE(fs::exists(temp / "aus" / "set.z01"));
    EXPECT_FALSE(fs::exists(temp / "aus" / "set.z03"));
    ExpectToolsAccept(Out() + "/set.zip");
    EXPECT_EQ(ReadSet(Out() + "/set.zip"), files);
}

TEST_F(SplitSpanTest, SmallSizesAreRefused) {
    InfoZip(temp / "quelle", "../archiv.zip", files);
    for (const std::int64_t size : {std::int64_t{0}, std::int64_t{65535}, std::int64_t{-2}, std::int64_t{1}}) {
        const std::string message = Refusal([&] { SpanArchive(P("archiv.zip"), Out(), size, nullptr); });
        EXPECT_NE(message.find("65536"), std::string::npos) << message;
    }
    EXPECT_TRUE(FileNames(temp / "aus").empty());
}

TEST_F(SplitSpanTest, OwnInputIsNeverOverwritten) {
    InfoZip(temp / "quelle", "../archiv.zip", files);
    const std::string before = testsupport::ReadFile(temp / "archiv.zip");
    std::string message = Refusal([&] { SpanArchive(P("archiv.zip"), temp.str(), k64K, nullptr); });
    EXPECT_NE(message.find("Eingabedatei"), std::string::npos) << message;
    EXPECT_EQ(testsupport::ReadFile(temp / "archiv.zip"), before);

    InfoZip(temp / "quelle", "../set.zip", files, "64k");
    message = Refusal([&] { MergeArchive(P("set.z02"), temp.str() + "/", nullptr); });
    EXPECT_NE(message.find("Eingabedatei"), std::string::npos) << message;
    // Reached through a link, the output is still the input.
    fs::create_directory_symlink(temp.path(), temp / "link");
    message = Refusal([&] { SpanArchive(P("set.zip"), P("link"), k64K, nullptr); });
    EXPECT_NE(message.find("Eingabedatei"), std::string::npos) << message;
    EXPECT_EQ(ReadSet(P("set.zip")), files);
}

TEST_F(SplitSpanTest, ExistingFilesAreNotReplaced) {
    InfoZip(temp / "quelle", "../archiv.zip", files);
    testsupport::WriteFile(temp / "aus" / "archiv.z07", "fremd");
    const std::string message = Refusal([&] { SpanArchive(P("archiv.zip"), Out(), k64K, nullptr); });
    EXPECT_NE(message.find("archiv.z07"), std::string::npos) << message;
    EXPECT_EQ(FileNames(temp / "aus"), std::vector<std::string>{"archiv.z07"});
    EXPECT_EQ(testsupport::ReadFile(temp / "aus" / "archiv.z07"), "fremd");
}

TEST_F(SplitSpanTest, AbortLeavesNothing) {
    InfoZip(temp / "quelle", "../archiv.zip", files);
    int calls = 0;
    std::int64_t lastTotal = 0;
    const auto stopLate = [&](std::int64_t, std::int64_t total) {
        lastTotal = total;
        return ++calls < 4;
    };
    EXPECT_NE(Refusal([&] { SpanArchive(P("archiv.zip"), Out(), k64K, stopLate); }).find("abgebrochen"), std::string::npos);
    EXPECT_EQ(calls, 4);
    EXPECT_GT(lastTotal, 0);
    EXPECT_TRUE(FileNames(temp / "aus").empty());

    InfoZip(temp / "quelle", "../set.zip", files, "64k");
    calls = 0;
    EXPECT_NE(Refusal([&] { MergeArchive(P("set.zip"), Out(), stopLate); }).find("abgebrochen"), std::string::npos);
    EXPECT_TRUE(FileNames(temp / "aus").empty());
}

TEST_F(SplitSpanTest, ProgressReachesTheTotal) {
    InfoZip(temp / "quelle", "../archiv.zip", files);
    std::int64_t done = 0, total = 0;
    SpanArchive(P("archiv.zip"), Out(), k64K, [&](std::int64_t d, std::int64_t t) {
        EXPECT_GE(d, done);
        done = d;
        total = t;
        return true;
    });
    std::uint64_t written = 0;
    for (const std::string& name : FileNames(temp / "aus")) written += fs::file_size(temp / "aus" / name);
    EXPECT_EQ(static_cast<std::uint64_t>(done), written);
    EXPECT_GE(total, done - 4);
}

TEST_F(SplitSpanTest, Zip64ArchiveSpansForSevenZip) {
    std::vector<std::string> argv{"zip", "-q", "-X", "-fz", "../gross.zip"};
    for (const auto& entry : files) argv.push_back(entry.first);
    ASSERT_EQ(RunTool(argv, P("quelle")).status, 0);
    SpanArchive(P("gross.zip"), Out(), k64K, nullptr);
    ExpectToolsAccept(Out() + "/gross.zip");
    EXPECT_EQ(ReadSet(Out() + "/gross.zip", ZIP_CHECKCONS), files);
}

// Archives written to a pipe carry data descriptors: Info-ZIP's with 8-byte sizes, Python's
// with 4-byte sizes. (libzip's strict check rejects Info-ZIP's streamed archives as such.)
TEST_F(SplitSpanTest, StreamedArchivesSpanAndMerge) {
    const auto zip = RunTool({"sh", "-c", "zip -q - daten/beleg1.bin liste.txt zufall.bin | cat > ../strom.zip"}, P("quelle"));
    ASSERT_EQ(zip.status, 0) << zip.err;
    const auto python = RunTool({"python3", "-c",
                                 "import sys, zipfile\n"
                                 "with zipfile.ZipFile(sys.stdout.buffer, 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                 "    for n in ['daten/beleg2.bin', 'liste.txt', 'zufall.bin']: z.write(n)\n"},
                                P("quelle"));
    ASSERT_EQ(python.status, 0) << python.err;
    testsupport::WriteFile(temp / "python.zip", python.out);

    for (const std::string name : {"strom", "python"}) {
        ASSERT_NE(testsupport::ReadFile(temp / (name + ".zip")).find("PK\x07\x08"), std::string::npos) << name;
        SpanArchive(P(name + ".zip"), Out(), k64K, nullptr);
        ExpectToolsAccept(Out() + "/" + name + ".zip");
        const TContents contents = ReadSet(Out() + "/" + name + ".z01");
        EXPECT_EQ(contents.at("liste.txt"), files.at("liste.txt"));
        EXPECT_EQ(contents.at("zufall.bin"), files.at("zufall.bin"));
        MergeArchive(Out() + "/" + name + ".zip", P("quelle"), nullptr);
        ExpectUnzipAccepts(P("quelle/" + name + ".zip"));
        // Spanning and merging again gives back the very bytes.
        EXPECT_EQ(testsupport::ReadFile(temp / "quelle" / (name + ".zip")), testsupport::ReadFile(temp / (name + ".zip")));
    }
}

TEST_F(SplitSpanTest, InfoZipSetMergesIntoArchiveToolsAccept) {
    InfoZip(temp / "quelle", "../set.zip", files, "64k");
    MergeArchive(P("set.z03"), Out(), nullptr);
    EXPECT_EQ(FileNames(temp / "aus"), std::vector<std::string>{"set.zip"});
    ExpectUnzipAccepts(Out() + "/set.zip");
    ExpectToolsAccept(Out() + "/set.zip");
    EXPECT_EQ(ReadPlainZip(Out() + "/set.zip"), files);
    EXPECT_FALSE(tavik::FindSplitSet(Out() + "/set.zip"));
}

TEST_F(SplitSpanTest, ByteSplitSetMerges) {
    std::vector<std::string> argv{"7zz", "a", "-tzip", "-v100k", "-bd", "../stueck.zip"};
    for (const auto& entry : files) argv.push_back(entry.first);
    ASSERT_EQ(RunTool(argv, P("quelle")).status, 0);
    MergeArchive(P("stueck.zip.001"), Out(), nullptr);
    EXPECT_EQ(FileNames(temp / "aus"), std::vector<std::string>{"stueck.zip"});
    ExpectUnzipAccepts(Out() + "/stueck.zip");
    EXPECT_EQ(ReadPlainZip(Out() + "/stueck.zip"), files);
}

TEST_F(SplitSpanTest, MergeNamesMissingVolume) {
    InfoZip(temp / "quelle", "../set.zip", files, "64k");
    fs::remove(temp / "set.z03");
    const std::string message = Refusal([&] { MergeArchive(P("set.zip"), Out(), nullptr); });
    EXPECT_NE(message.find("set.z03"), std::string::npos) << message;
    EXPECT_TRUE(FileNames(temp / "aus").empty());
}

TEST_F(SplitSpanTest, MissingArchiveAndTargetAreReported) {
    EXPECT_NE(Refusal([&] { MergeArchive(P("nichts.zip"), Out(), nullptr); }).find("nichts.zip"), std::string::npos);
    InfoZip(temp / "quelle", "../archiv.zip", files);
    EXPECT_NE(Refusal([&] { SpanArchive(P("archiv.zip"), P("gibtsnicht"), k64K, nullptr); }).find("Zielordner"),
              std::string::npos);
}

}  // namespace
