// Our ZIP archives against Info-ZIP, 7-Zip, bsdtar and Python's zipfile, both ways.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivVerifyMode;

class ZipInterop : public ::testing::Test {
protected:
    void SetUp() override { WriteTree(dir.path() / "src", SampleTree()); }

    std::string Pack() {
        const std::string archive = (dir / "ours.zip").string();
        auto engine = Engine(TArchivFormat::Zip, archive);
        engine->FileItemAdd((dir / "src" / "daten").string());
        EXPECT_TRUE(engine->ExecuteFilesAdd(false)) << engine->LastError();
        return archive;
    }

    // Lists, checks completely and extracts an archive of another tool; compares with the tree.
    void ReadForeign(const std::string& archive, const std::string& prefix = "daten/") {
        auto engine = Engine(TArchivFormat::Zip, archive);
        ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
        const std::vector<std::string> names = EntryNames(*engine);
        for (const auto& [name, content] : SampleTree())
            EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
        EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Simple)) << engine->LastError();
        EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << engine->LastError();
        engine->ExtractDir = (dir / "out").string();
        ASSERT_TRUE(engine->ExecuteArchivExtract()) << engine->LastError();
        TTree expected;
        for (const auto& [name, content] : SampleTree()) expected[name] = content;
        EXPECT_EQ(ReadTree(dir / "out"), expected);
        (void)prefix;
    }

    testsupport::TempDir dir;
};

TEST_F(ZipInterop, OurArchivePassesUnzipAnd7Zip) {
    const std::string archive = Pack();
    const auto unzip = Tool({"unzip", "-t", archive});
    EXPECT_EQ(unzip.status, 0) << unzip.out << unzip.err;
    EXPECT_NE(unzip.out.find("No errors detected"), std::string::npos);
    const auto sevenZip = Tool({"7zz", "t", archive});
    EXPECT_EQ(sevenZip.status, 0) << sevenZip.out << sevenZip.err;
    EXPECT_NE(sevenZip.out.find("Everything is Ok"), std::string::npos);
}

TEST_F(ZipInterop, UnzipRestoresOurContentAndTimes) {
    testsupport::SetMTime(dir / "src/daten/beleg.txt", 1'600'000'001);  // odd second: DOS time cannot hold it
    const std::string archive = Pack();
    const auto unzip = Tool({"unzip", "-q", archive, "-d", (dir / "unz").string()});
    ASSERT_EQ(unzip.status, 0) << unzip.err;
    TTree expected;
    for (const auto& [name, content] : SampleTree()) expected[name] = content;
    EXPECT_EQ(ReadTree(dir / "unz"), expected);
    const auto written = fs::last_write_time(dir / "unz/daten/beleg.txt");
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(written).time_since_epoch());
    EXPECT_EQ(seconds.count(), 1'600'000'001);  // from the extended timestamp we write
}

TEST_F(ZipInterop, NamesAreUtf8WithFlagBit11) {
    const std::string archive = Pack();
    Python(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    info = z.getinfo('daten/unter/grüße.txt')
    assert info.flag_bits & 0x800, hex(info.flag_bits)
    assert z.read(info) == 'Grüße aus Köln\n'.encode()
)",
           {archive});
}

TEST_F(ZipInterop, ReadsInfoZipArchive) {
    const auto zip = Tool({"zip", "-qr", (dir / "infozip.zip").string(), "daten"}, (dir / "src").string());
    ASSERT_EQ(zip.status, 0) << zip.err;
    ReadForeign((dir / "infozip.zip").string());
}

TEST_F(ZipInterop, Reads7ZipArchive) {
    const auto sevenZip =
        Tool({"7zz", "a", "-tzip", "-bso0", (dir / "7z.zip").string(), "daten"}, (dir / "src").string());
    ASSERT_EQ(sevenZip.status, 0) << sevenZip.err;
    ReadForeign((dir / "7z.zip").string());
}

TEST_F(ZipInterop, ReadsBsdtarZip) {
    const auto tar = Tool({"bsdtar", "-a", "-cf", (dir / "bsd.zip").string(), "daten"}, (dir / "src").string());
    ASSERT_EQ(tar.status, 0) << tar.err;
    ReadForeign((dir / "bsd.zip").string());
}

TEST_F(ZipInterop, ReadsPythonZipfileWithZip64AndStoredEntries) {
    Python(R"(
import os, sys, zipfile
root = sys.argv[1]
with zipfile.ZipFile(sys.argv[2], 'w') as z:
    for base, dirs, files in os.walk(os.path.join(root, 'daten')):
        for f in files:
            p = os.path.join(base, f)
            name = os.path.relpath(p, root)
            method = zipfile.ZIP_STORED if f.endswith('.bin') else zipfile.ZIP_DEFLATED
            with open(p, 'rb') as src, z.open(zipfile.ZipInfo.from_file(p, name), 'w', force_zip64=True) as dst:
                dst.write(src.read())
)",
           {(dir / "src").string(), (dir / "py.zip").string()});
    ReadForeign((dir / "py.zip").string());
}

TEST_F(ZipInterop, ReadsInfoZipSplitSetThroughItsZipVolume) {
    testsupport::WriteFile(dir / "src/daten/gross.bin", Incompressible(200'000, 11));
    const auto zip = Tool({"zip", "-qr", "-s", "64k", (dir / "teil.zip").string(), "daten"}, (dir / "src").string());
    ASSERT_EQ(zip.status, 0) << zip.err;
    ASSERT_TRUE(fs::exists(dir / "teil.z02"));
    fs::remove(dir / "src/daten/gross.bin");
    auto engine = Engine(TArchivFormat::Zip, (dir / "teil.zip").string());
    ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
    EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Simple)) << engine->LastError();
    EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << engine->LastError();
    engine->ExtractDir = (dir / "out").string();
    ASSERT_TRUE(engine->ExecuteArchivExtract()) << engine->LastError();
    TTree expected = SampleTree();
    expected["daten/gross.bin"] = Incompressible(200'000, 11);
    EXPECT_EQ(ReadTree(dir / "out"), expected);
}

TEST_F(ZipInterop, ArchiveWithoutZipExtensionIsWrittenAndRead) {
    const std::string archive = (dir / "SK261207.001").string();
    auto engine = Engine(TArchivFormat::Zip, archive);
    engine->FileItemAdd((dir / "src/daten/beleg.txt").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(false)) << engine->LastError();
    EXPECT_EQ(Tool({"unzip", "-t", archive}).status, 0);
    auto reader = Engine(TArchivFormat::Zip, archive);
    ASSERT_TRUE(reader->ExecuteArchivList());
    EXPECT_EQ(EntryNames(*reader), std::vector<std::string>{"beleg.txt"});
}

}  // namespace
}  // namespace archivtest
