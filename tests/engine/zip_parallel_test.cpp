// Packing on worker threads and reading through libdeflate, end to end: archives of large
// files cut into pieces stay readable by Info-ZIP, 7-Zip and Python byte for byte, an abort
// while the workers run leaves no archive, and both ways of inflating read the same data.
#include <zip.h>

#include <thread>

#include "host/engine/zip/zip_entry.h"
#include "host/engine/zip/zip_entry_reader.h"
#include "host/engine/zip/zip_handles.h"
#include "host/services/exceptions.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;

// Larger than one piece of the pipeline (4 MB), text and random mixed.
std::string Large() { return TextRecords(150'000) + Incompressible(3'000'000, 12) + TextRecords(120'000); }

class ZipParallel : public ::testing::Test {
protected:
    void SetUp() override {
        tree = SampleTree();
        tree["daten/gross.bin"] = Large();
        for (int i = 0; i < 40; ++i) tree["daten/viele/datei" + std::to_string(i) + ".txt"] = TextRecords(i * 50);
        WriteTree(dir / "src", tree);
    }

    std::string Pack(const std::string& name) {
        const std::string archive = (dir / name).string();
        auto engine = Engine(TArchivFormat::Zip, archive);
        engine->FileItemAdd((dir / "src/daten").string());
        EXPECT_TRUE(engine->ExecuteFilesAdd(false)) << engine->LastError();
        EXPECT_EQ(engine->GetFileItemsList().GetCount(), static_cast<int>(tree.size()) + 3);  // + 3 directories
        return archive;
    }

    std::vector<std::string> DirectoryListing() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
        return Sorted(names);
    }

    testsupport::TempDir dir;
    TTree tree;
};

// Reads every entry with the given limits; returns name -> data.
TTree ReadAll(const std::string& archive, tavik::TEntryReadLimits limits) {
    const tavik::TZipReading zip = tavik::OpenZipForReading(archive, false);
    tavik::TZipEntryReader reader(zip.archive.get(), limits);
    TTree entries;
    for (const tavik::TZipEntry& entry : zip.entries) {
        if (entry.directory) continue;
        std::string& data = entries[entry.name];
        std::int64_t last = -1;
        reader.Read(
            entry, [&data](const std::uint8_t* bytes, std::size_t size) { data.append(bytes, bytes + size); },
            [&last](std::int64_t done) {
                EXPECT_GT(done, last);
                last = done;
            });
    }
    return entries;
}

TEST_F(ZipParallel, LargeFileInPiecesIsReadByteForByteByUnzip7ZipAndPython) {
    const std::string archive = Pack("a.zip");
    const auto test = Tool({"unzip", "-tq", archive});
    EXPECT_EQ(test.status, 0) << test.out << test.err;
    const auto sevenZip = Tool({"7zz", "t", archive});
    EXPECT_EQ(sevenZip.status, 0) << sevenZip.out;
    const auto unzip = Tool({"unzip", "-q", archive, "-d", (dir / "unz").string()});
    ASSERT_EQ(unzip.status, 0) << unzip.err;
    EXPECT_EQ(ReadTree(dir / "unz"), tree);
    Python(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    for info in z.infolist():
        if info.filename.endswith('/'):
            continue
        expected = zipfile.ZIP_STORED if info.file_size == 0 else zipfile.ZIP_DEFLATED
        assert info.compress_type == expected, (info.filename, info.compress_type)
        assert info.flag_bits & 0x08 == 0, info.filename  # sizes in the local header
    big = z.getinfo('daten/gross.bin')
    assert big.compress_size < big.file_size * 0.6, big.compress_size
)",
           {archive});
}

TEST_F(ZipParallel, EngineReadsItsOwnArchiveBackAndPacksTheSameBytesEachTime) {
    const std::string first = Pack("a.zip");
    const std::string second = Pack("b.zip");
    EXPECT_EQ(testsupport::ReadFile(first), testsupport::ReadFile(second));  // threads change no byte
    auto engine = Engine(TArchivFormat::Zip, first);
    EXPECT_TRUE(engine->ExecuteArchivVerify(tavik::TArchivVerifyMode::Complete)) << engine->LastError();
    engine->ExtractDir = (dir / "out").string();
    ASSERT_TRUE(engine->ExecuteArchivExtract()) << engine->LastError();
    EXPECT_EQ(ReadTree(dir / "out"), tree);
}

TEST_F(ZipParallel, AbortWhileTheWorkersCompressLeavesNoArchive) {
    testsupport::WriteFile(dir / "src/daten/gross2.bin", Large());
    auto engine = Engine(TArchivFormat::Zip, (dir / "neu.zip").string());
    TRecorder recorder;
    recorder.Attach(*engine);
    std::int64_t seen = 0;
    engine->OnCommandProgress = [&seen](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand,
                                        std::int64_t done, std::int64_t) {
        seen = done;
        if (done > 6'000'000) sender.Abort();
    };
    engine->FileItemAdd((dir / "src/daten").string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(false));
    EXPECT_NE(engine->LastError().find("abgebrochen"), std::string::npos) << engine->LastError();
    EXPECT_LT(seen, 12'000'000);
    EXPECT_EQ(engine->GetFileItemsList().GetCount(), 0);
    EXPECT_EQ(recorder.ends, 1);
    EXPECT_EQ(DirectoryListing(), std::vector<std::string>{"src"});
}

TEST_F(ZipParallel, EventsComeOnTheCallingThreadItemByItemInOrder) {
    auto engine = Engine(TArchivFormat::Zip, (dir / "a.zip").string());
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::string> order;
    std::int64_t lastDone = 0;
    bool sameThread = true, growing = true;
    engine->OnCommandItemProgress = [&](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::PFileInfoItem item,
                                        std::int64_t, std::int64_t) {
        sameThread = sameThread && std::this_thread::get_id() == caller;
        const std::string name = item->RelDir + "/" + item->FileName;
        if (order.empty() || order.back() != name) order.push_back(name);
    };
    engine->OnCommandProgress = [&](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, std::int64_t done,
                                    std::int64_t) {
        sameThread = sameThread && std::this_thread::get_id() == caller;
        growing = growing && done >= lastDone;
        lastDone = done;
    };
    engine->FileItemAdd((dir / "src/daten").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(false)) << engine->LastError();
    EXPECT_TRUE(sameThread);
    EXPECT_TRUE(growing);
    std::vector<std::string> packedFiles;
    for (const tavik::TFileInfoItem& item : engine->GetFileItemsList().Items())
        if ((item.Attributes & tavik::faDirectory) == 0 && item.Size > 0)
            packedFiles.push_back(item.RelDir + "/" + item.FileName);
    EXPECT_EQ(order, packedFiles);  // each file's events together, in the order of the archive
}

TEST_F(ZipParallel, EntriesOfOtherMethodsAreReadThroughLibzip) {
    if (zip_compression_method_supported(ZIP_CM_BZIP2, 0) == 0) GTEST_SKIP() << "libzip without bzip2";
    const std::string archive = (dir / "bzip2.zip").string();
    const auto sevenZip = Tool({"7zz", "a", "-tzip", "-mm=BZip2", "-bso0", archive, "daten"}, (dir / "src").string());
    ASSERT_EQ(sevenZip.status, 0) << sevenZip.err;
    EXPECT_EQ(ReadAll(archive, {}), tree);
}

TEST_F(ZipParallel, WholeEntryAndPieceByPieceInflatingReadTheSame) {
    const auto zip = Tool({"zip", "-qr", (dir / "info.zip").string(), "daten"}, (dir / "src").string());
    ASSERT_EQ(zip.status, 0) << zip.err;
    for (const std::string& archive : {(dir / "info.zip").string(), Pack("ours.zip")}) {
        SCOPED_TRACE(archive);
        tavik::TEntryReadLimits pieces;
        pieces.wholeEntry = 0;  // every deflated entry through zlib
        pieces.piece = 4096;
        EXPECT_EQ(ReadAll(archive, {}), tree);
        EXPECT_EQ(ReadAll(archive, pieces), tree);
    }
}

TEST_F(ZipParallel, BothWaysOfInflatingFindAChangedByte) {
    const std::string archive = Pack("a.zip");
    std::string bytes = testsupport::ReadFile(archive);
    const std::size_t at = bytes.find("daten/gross.bin") + 15 + 9 + 200'000;  // inside its deflated text
    bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
    testsupport::WriteFile(archive, bytes);
    tavik::TEntryReadLimits pieces;
    pieces.wholeEntry = 0;
    for (const tavik::TEntryReadLimits& limits : {tavik::TEntryReadLimits{}, pieces}) {
        try {
            ReadAll(archive, limits);
            ADD_FAILURE() << "the changed byte went unnoticed";
        } catch (const tavik::EOlvex& e) {
            EXPECT_FALSE(std::string(e.what()).empty());
        }
    }
}

}  // namespace
}  // namespace archivtest
