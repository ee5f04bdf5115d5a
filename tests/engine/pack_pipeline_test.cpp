// Deflating files piece by piece on worker threads: the joined pieces are one valid deflate
// stream (read back with zlib), the same bytes whatever the number of threads, with failures
// reported per file and a pipeline that can be dropped halfway.
#include <libdeflate.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <future>
#include <thread>

#include "host/engine/pack/deflate_piece.h"
#include "host/engine/pack/pack_pipeline.h"
#include "tests/engine/archiv_test_helpers.h"
#include "tests/engine/raw_inflate.h"

namespace archivtest {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string Mixed() { return TextRecords(20'000) + Incompressible(300'000, 5) + TextRecords(9'000) + "\n"; }

TEST(DeflatePiece, PiecesOfTextRandomAndNothingJoinIntoOneStream) {
    const std::string data = Mixed();
    tavik::TPieceDeflater deflater(5);
    Bytes joined, piece;
    // Tiny pieces (a few hundred bytes) go another way than large ones; all join alike.
    const std::size_t cuts[] = {0, 1, 301, 813, 1'326, 100'000, 100'000, 450'000, 700'000, 900'000, data.size() - 200,
                                data.size()};
    for (std::size_t i = 0; i + 1 < std::size(cuts); ++i) {
        const auto* from = reinterpret_cast<const std::uint8_t*>(data.data()) + cuts[i];
        deflater.Deflate(from, cuts[i + 1] - cuts[i], i + 2 == std::size(cuts), piece);
        joined.insert(joined.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(Inflate(joined), data);
    EXPECT_LT(joined.size(), data.size() / 2);
}

// Files of a few bytes to a few hundred, each a stream of its own with one deflater: each
// inflates to itself, none is larger than stored, and text shrinks about as much as
// libdeflate makes it shrink.
TEST(DeflatePiece, TinyPiecesEachMakeAStreamOfTheirOwn) {
    tavik::TPieceDeflater deflater(4);
    const std::string text = TextRecords(40);
    const std::string cases[] = {"x", "Grüße\n", text.substr(0, 100), text.substr(0, 511), text.substr(0, 512),
                                 text.substr(0, 513), Incompressible(400, 3), std::string(512, 'a'),
                                 text.substr(0, 300)};
    Bytes out;
    for (const std::string& data : cases) {
        SCOPED_TRACE(data.size());
        deflater.Deflate(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), true, out);
        EXPECT_EQ(Inflate(out), data);
        Bytes general;
        tavik::AppendStoredBlocks(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), true, general);
        EXPECT_LE(out.size(), general.size());  // never more than stored
        if (data == std::string(512, 'a')) {
            EXPECT_LT(out.size(), 20u);
        }
    }
    const std::string small = text.substr(0, 500);
    deflater.Deflate(reinterpret_cast<const std::uint8_t*>(small.data()), small.size(), true, out);
    const std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> general(
        libdeflate_alloc_compressor(4), libdeflate_free_compressor);
    Bytes buffer(1024);
    const std::size_t packed =
        libdeflate_deflate_compress(general.get(), small.data(), small.size(), buffer.data(), buffer.size());
    ASSERT_GT(packed, 0u);
    EXPECT_LE(out.size(), packed + packed / 20);  // within 5 % of libdeflate's level 4
}

TEST(DeflatePiece, RandomIsStoredAndTextIsNot) {
    tavik::TPieceDeflater deflater(5);
    const Bytes random = AsBytes(Incompressible(200'000, 2));
    const Bytes text = AsBytes(TextRecords(8'000));
    EXPECT_TRUE(deflater.LooksIncompressible(random.data(), random.size()));
    EXPECT_FALSE(deflater.LooksIncompressible(text.data(), text.size()));
    Bytes out;
    deflater.Deflate(random.data(), random.size(), true, out);
    EXPECT_EQ(out.size(), random.size() + 4 * 5);  // four stored blocks of at most 65535 bytes
    EXPECT_EQ(Inflate(out), std::string(random.begin(), random.end()));
}

// Pieces too small for three samples (a file of a few kilobytes): random data is stored, while
// text, a header before random data and data that spreads evenly over all byte values yet
// repeats are deflated; whatever is chosen inflates to the piece again.
TEST(DeflatePiece, SmallPiecesAreStoredOnlyWhenTheyCannotShrink) {
    std::string everyByte;
    for (int i = 0; i < 40'000; ++i) everyByte += static_cast<char>(i & 0xFF);
    const struct {
        const char* Name;
        std::string Data;
        bool Stored;
    } cases[] = {
        {"random, 40 KB", Incompressible(40'000, 3), true},
        {"random, 5 KB", Incompressible(5'000, 4), true},
        {"random, 3 KB: too small to judge", Incompressible(3'000, 5), false},
        {"text, 40 KB", TextRecords(1'600), false},
        {"text, 5 KB", TextRecords(200), false},
        {"text then random", TextRecords(800) + Incompressible(20'000, 6), false},
        {"every byte value in turn", everyByte, false},
    };
    tavik::TPieceDeflater deflater(6);
    for (const auto& piece : cases) {
        SCOPED_TRACE(piece.Name);
        const Bytes data = AsBytes(piece.Data);
        EXPECT_EQ(deflater.LooksIncompressible(data.data(), data.size()), piece.Stored);
        Bytes out;
        deflater.Deflate(data.data(), data.size(), true, out);
        EXPECT_EQ(Inflate(out), piece.Data);
        if (piece.Stored) {
            EXPECT_EQ(out.size(), data.size() + 5);
        } else if (piece.Data.size() >= 4096) {
            EXPECT_LT(out.size(), data.size());
        }
    }
}

TEST(DeflatePiece, AStreamOfOneBlockGoesOnAfterTheStoredMark) {
    Bytes first = {0x4B, 0x04, 0x00};  // "a" in one fixed block, final
    tavik::MakeStreamContinue(first);
    Bytes last;
    tavik::AppendStoredBlocks(reinterpret_cast<const std::uint8_t*>("bc"), 2, true, last);
    first.insert(first.end(), last.begin(), last.end());
    EXPECT_EQ(Inflate(first), "abc");
    Bytes broken = {0x4B, 0x04};
    EXPECT_THROW(tavik::MakeStreamContinue(broken), std::runtime_error);
}

class PackPipeline : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::WriteFile(dir / "gemischt.bin", Mixed());
        testsupport::WriteFile(dir / "klein.txt", "Grüße\n");
        testsupport::WriteFile(dir / "leer.dat", "");
        testsupport::WriteFile(dir / "text.txt", TextRecords(40'000));
    }

    std::vector<tavik::TPackFile> Files(const std::vector<std::string>& names) {
        std::vector<tavik::TPackFile> files;
        for (const std::string& name : names) {
            const std::string& path = paths.emplace_back((dir / name).string());
            struct stat planned {};
            ::stat(path.c_str(), &planned);
            files.push_back({path, {}, planned.st_size});
        }
        return files;
    }

    struct TJoined {
        Bytes stream;
        std::uint32_t crc = 0;
        std::int64_t size = 0;
        std::string failure;
    };
    std::vector<TJoined> Run(const std::vector<std::string>& names, unsigned workers, std::size_t ahead) {
        tavik::TPackOptions options;
        options.pieceSize = 64 * 1024;
        options.aheadBytes = ahead;
        options.workers = workers;
        tavik::TPackPipeline pipeline(Files(names), options);
        std::vector<TJoined> joined(names.size());
        while (!pipeline.Finished()) {
            tavik::TPackPiece piece = pipeline.Take();
            TJoined& file = joined.at(piece.file);
            if (!piece.failure.empty()) file.failure = piece.failure.Text;
            file.stream.insert(file.stream.end(), piece.deflated.begin(), piece.deflated.end());
            file.crc = static_cast<std::uint32_t>(crc32_combine(file.crc, piece.crc, piece.size));
            file.size += piece.size;
        }
        return joined;
    }

    testsupport::TempDir dir;
    std::deque<std::string> paths;  // the pipeline's files refer to them
};

TEST_F(PackPipeline, ParallelGivesTheSameBytesAsSerialAndThoseInflateToTheFiles) {
    const std::vector<std::string> names = {"gemischt.bin", "klein.txt", "leer.dat", "text.txt"};
    const std::vector<TJoined> serial = Run(names, 1, 48 << 20);
    const std::vector<TJoined> parallel = Run(names, 4, 200'000);  // little read ahead: workers wait
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const std::string content = testsupport::ReadFile(dir / names[i]);
        EXPECT_EQ(parallel[i].stream, serial[i].stream);
        EXPECT_EQ(Inflate(parallel[i].stream), content);
        EXPECT_EQ(parallel[i].size, static_cast<std::int64_t>(content.size()));
        EXPECT_EQ(parallel[i].crc, crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                         static_cast<uInt>(content.size())));
        EXPECT_TRUE(parallel[i].failure.empty());
    }
}

TEST_F(PackPipeline, AMissingFileIsReportedAndTheOthersGoOn) {
    const std::vector<TJoined> joined = Run({"text.txt", "fehlt.txt", "klein.txt"}, 2, 48 << 20);
    EXPECT_NE(joined[1].failure.find("nicht geöffnet"), std::string::npos) << joined[1].failure;
    EXPECT_EQ(Inflate(joined[2].stream), "Grüße\n");
}

// Takes every piece on a thread of its own, now and then pausing as a writer does while the
// workers fill all the room there is; a pipeline that stops delivering fails the test (and
// ends the program, whose threads can no longer be joined) instead of hanging it.
std::size_t TakeAllOrFail(tavik::TPackPipeline& pipeline) {
    std::promise<std::size_t> taken;
    std::future<std::size_t> result = taken.get_future();
    std::thread writer([&pipeline, &taken] {
        std::size_t count = 0;
        while (!pipeline.Finished()) {
            if (count % 200 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_TRUE(pipeline.Take().failure.empty());
            ++count;
        }
        taken.set_value(count);
    });
    if (result.wait_for(std::chrono::minutes(3)) != std::future_status::ready) {
        ADD_FAILURE() << "the pipeline stopped delivering pieces";
        std::fflush(nullptr);
        std::_Exit(1);
    }
    writer.join();
    return result.get();
}

TEST_F(PackPipeline, ThousandsOfEmptyFilesAllComeThrough) {
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        names.push_back("leer" + std::to_string(i));
        testsupport::WriteFile(dir / names.back(), "");
    }
    tavik::TPackPipeline pipeline(Files(names), tavik::TPackOptions{});
    EXPECT_EQ(TakeAllOrFail(pipeline), names.size());
}

TEST_F(PackPipeline, EmptyFilesBetweenLargeOnesAllComeThrough) {
    std::vector<std::string> names;
    testsupport::WriteFile(dir / "gross.bin", Incompressible(3'000'000, 7));
    for (int block = 0; block < 3; ++block) {
        names.push_back("gross.bin");
        for (int i = 0; i < 1000; ++i) {
            names.push_back("leer" + std::to_string(block) + "-" + std::to_string(i));
            testsupport::WriteFile(dir / names.back(), "");
        }
    }
    names.push_back("text.txt");
    tavik::TPackOptions options;
    options.pieceSize = 64 * 1024;  // a large file is many pieces
    options.aheadBytes = 1 << 20;
    options.workers = 2;
    std::size_t pieces = 0;  // an empty file is one piece of nothing
    for (const std::string& name : names)
        pieces += std::max<std::size_t>(1, (fs::file_size(dir / name) + options.pieceSize - 1) / options.pieceSize);
    tavik::TPackPipeline pipeline(Files(names), options);
    EXPECT_EQ(TakeAllOrFail(pipeline), pieces);
}

TEST_F(PackPipeline, DroppedHalfwayItStopsItsWorkers) {
    tavik::TPackOptions options;
    options.pieceSize = 64 * 1024;
    options.workers = 2;
    auto pipeline = std::make_unique<tavik::TPackPipeline>(Files({"text.txt", "gemischt.bin", "text.txt"}), options);
    EXPECT_EQ(pipeline->Take().file, 0u);
    pipeline.reset();  // must come back, with the workers joined
    SUCCEED();
}

}  // namespace
}  // namespace archivtest
