// A method the engine cannot decode is named as not supported, never as damage: in ZIP
// (Implode, Shrink, Reduce, which libarchive does not read either) and in format 1 (7z codecs
// and filters that libarchive 3.6 does not know).
#include <cstdint>

#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivVerifyMode;

void ExpectUnsupported(const std::string& reason) {
    EXPECT_NE(reason.find("nicht unterstützt"), std::string::npos) << reason;
    EXPECT_EQ(reason.find("beschädigt"), std::string::npos) << reason;
}

void SetMethod(std::string& zip, std::size_t at, std::uint16_t method) {
    zip[at] = static_cast<char>(method & 0xFF);
    zip[at + 1] = static_cast<char>(method >> 8);
}

// Implode, Shrink and Reduce by changing the method in both headers of a deflated entry, as no tool at
// hand writes them any more.
class ZipUnsupportedMethod : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(ZipUnsupportedMethod, TheCompleteCheckAndExtractionSayNotSupported) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "zahlen.txt", TextRecords(2000));
    const std::string zip = (dir / "alt.zip").string();
    const std::uint16_t method = GetParam();
    ASSERT_EQ(Tool({"zip", "-q", zip, "zahlen.txt"}, dir.str()).status, 0);
    std::string bytes = testsupport::ReadFile(zip);
    ASSERT_EQ(bytes.compare(0, 4, "PK\x03\x04"), 0);
    SetMethod(bytes, 8, method);
    const std::size_t central = bytes.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    SetMethod(bytes, central + 10, method);
    testsupport::WriteFile(zip, bytes);
    const auto peer = Tool({"unzip", "-Z", "-v", zip});
    ASSERT_EQ(peer.status, 0) << peer.err;
    EXPECT_NE(peer.out.find(method == 6 ? "imploded" : method == 1 ? "shrunk" : "reduced"), std::string::npos)
        << peer.out;

    auto engine = Engine(TArchivFormat::Zip, zip);
    TRecorder recorder;
    recorder.Attach(*engine);
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    EXPECT_EQ(recorder.errorItems, (std::vector<std::string>{"zahlen.txt"}));
    ExpectUnsupported(engine->LastError());
    engine->ExtractDir = (dir / "aus").string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    ExpectUnsupported(engine->LastError());
    EXPECT_EQ(ReadTree(dir / "aus"), TTree{});
}

INSTANTIATE_TEST_SUITE_P(Methods, ZipUnsupportedMethod, ::testing::Values(6, 1, 5),
                         [](const ::testing::TestParamInfo<std::uint16_t>& info) {
                             return info.param == 6 ? std::string("Implode")
                                                    : info.param == 1 ? std::string("Shrink") : std::string("Reduce");
                         });

// 7-Zip's filter for ARM64 code, and Deflate64 inside 7z.
class SevenZipUnsupportedCodec : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(SevenZipUnsupportedCodec, ListingWorksAndReadingSaysNotSupported) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "zahlen.txt", TextRecords(2000));
    const std::string archive = (dir / "neu.7z").string();
    std::vector<std::string> command{"7zz", "a", "-bso0"};
    command.insert(command.end(), GetParam().begin(), GetParam().end());
    command.insert(command.end(), {archive, "zahlen.txt"});
    const auto made = Tool(command, dir.str());
    ASSERT_EQ(made.status, 0) << made.err;
    // 7-Zip reads it: the archive is sound.
    ASSERT_EQ(Tool({"7zz", "t", "-bso0", archive}).status, 0);

    auto engine = Engine(TArchivFormat::Other, archive);
    ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    ExpectUnsupported(engine->LastError());
    engine->ExtractDir = (dir / "aus").string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    ExpectUnsupported(engine->LastError());
    EXPECT_EQ(ReadTree(dir / "aus"), TTree{});
}

INSTANTIATE_TEST_SUITE_P(Codecs, SevenZipUnsupportedCodec,
                         ::testing::Values(std::vector<std::string>{"-m0=ARM64", "-m1=LZMA"},
                                           std::vector<std::string>{"-m0=Deflate64"}));

}  // namespace
}  // namespace archivtest
