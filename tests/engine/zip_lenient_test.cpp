// Sound archives in forms that Info-ZIP's unzip reads: bytes before the archive (a
// self-extracting stub), bytes after it, a comment length that does not fit, extra fields that
// end in something other than whole blocks. They are listed, checked and extracted, and merged
// into an archive that every reader takes without a warning; overlapping entries stay refused
// with a stub before them.
#include <gmock/gmock.h>

#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using ::testing::HasSubstr;

// Variants of gut.zip (from Info-ZIP's zip) by byte edits: python3 - DIR.
const char* const kVariants = R"(
import io, struct, sys, zipfile
out = sys.argv[1]
data = open(out + '/gut.zip', 'rb').read()
def put(name, b): open(out + '/' + name, 'wb').write(b)
stub = b'#!/bin/sh\necho Selbstentpacker\nexit 0\n' + bytes(range(256)) * 20
eocd = data.rfind(b'PK\x05\x06')
cd_size, cd_off = struct.unpack_from('<II', data, eocd + 12)
put('vorspann.zip', stub + data)
put('anhang.zip', data + b'Anhang nach dem Archiv' * 50)
put('beides.zip', stub + data + b'\0' * 3000)
long_comment = bytearray(data); struct.pack_into('<H', long_comment, eocd + 20, 500)
put('kommentar-zu-lang.zip', bytes(long_comment))
put('kommentar-zu-kurz.zip', data + b'kein Kommentar')
# The Zip64 form of the same end, then with a stub before it.
end = bytearray(data[eocd:]); struct.pack_into('<HHII', end, 8, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
count = struct.unpack_from('<H', data, eocd + 10)[0]
z64 = struct.pack('<IQHHIIQQQQ', 0x06064b50, 44, 45, 45, 0, 0, count, count, cd_size, cd_off)
zip64 = data[:eocd] + z64 + struct.pack('<IIQI', 0x07064b50, 0, eocd, 1) + bytes(end)
put('zip64.zip', zip64)
put('zip64-vorspann.zip', stub + zip64)
# Every central extra field gets bytes that are no whole block: padding, and a block whose
# length runs past the field.
def central_extra(tail):
    cd = bytearray(data[cd_off:cd_off + cd_size]); new = bytearray(); p = 0
    while p < len(cd):
        n, x, c = struct.unpack_from('<HHH', cd, p + 28)
        h = bytearray(cd[p:p + 46 + n + x]) + tail + cd[p + 46 + n + x:p + 46 + n + x + c]
        struct.pack_into('<H', h, 30, x + len(tail)); new += h; p += 46 + n + x + c
    e = bytearray(data[eocd:]); struct.pack_into('<I', e, 12, len(new))
    return data[:cd_off] + bytes(new) + bytes(e)
put('extra-rest.zip', central_extra(b'\x01\x02'))
put('extra-zu-lang.zip', central_extra(b'\x99\x99\x20\x00abc'))
put('extra-vorspann.zip', stub + central_extra(b'\x01\x02'))
# Every entry twice in the directory, both pointing at the same data.
e = bytearray(data[eocd:]); struct.pack_into('<HHI', e, 8, 2 * count, 2 * count, 2 * cd_size)
put('ueberlappt.zip', stub + data[:cd_off] + data[cd_off:eocd] * 2 + bytes(e))
)";

class ZipLenient : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTree(dir / "src", SampleTree());
        const auto zip = Tool({"zip", "-qr", (dir / "gut.zip").string(), "daten"}, (dir / "src").string());
        ASSERT_EQ(zip.status, 0) << zip.err;
        Python(kVariants, {dir.str()});
    }

    static TTree Expected() {
        TTree expected;
        for (const auto& [name, content] : SampleTree()) expected[name] = content;
        return expected;
    }

    // Lists, checks and extracts through the command line, as a user would.
    void ReadsLikeTheOriginal(const std::string& name) {
        SCOPED_TRACE(name);
        const std::string archive = (dir / name).string();
        const auto list = Tool({Cli(), "list", archive});
        EXPECT_EQ(list.status, 0) << list.err;
        EXPECT_EQ(list.out, Tool({Cli(), "list", (dir / "gut.zip").string()}).out);
        const auto verify = Tool({Cli(), "verify", "--complete", archive});
        EXPECT_EQ(verify.status, 0) << verify.err;
        const fs::path out = dir / ("aus-" + name);
        const auto extract = Tool({Cli(), "extract", archive, out.string()});
        EXPECT_EQ(extract.status, 0) << extract.err;
        EXPECT_EQ(ReadTree(out), Expected());
    }

    testsupport::TempDir dir;
};

TEST_F(ZipLenient, BytesBeforeOrAfterTheArchiveAreSkippedAsUnzipDoes) {
    for (const char* name : {"vorspann.zip", "anhang.zip", "beides.zip", "zip64.zip", "zip64-vorspann.zip"}) {
        ReadsLikeTheOriginal(name);
        // Info-ZIP reads them too, with a warning (status 1) for the bytes before the archive.
        EXPECT_LE(Tool({"unzip", "-tq", (dir / name).string()}).status, 1) << name;
    }
}

TEST_F(ZipLenient, ACommentLengthThatDoesNotFitIsTolerated) {
    for (const char* name : {"kommentar-zu-lang.zip", "kommentar-zu-kurz.zip"}) {
        ReadsLikeTheOriginal(name);
        EXPECT_LE(Tool({"unzip", "-tq", (dir / name).string()}).status, 1) << name;
    }
}

TEST_F(ZipLenient, ExtraFieldsThatAreNoWholeBlocksAreReadUpToThere) {
    for (const char* name : {"extra-rest.zip", "extra-zu-lang.zip", "extra-vorspann.zip"}) {
        ReadsLikeTheOriginal(name);
        EXPECT_LE(Tool({"unzip", "-tq", (dir / name).string()}).status, 1) << name;
    }
}

TEST_F(ZipLenient, TheEngineReadsAnArchiveBehindAStub) {
    auto engine = Engine(tavik::TArchivFormat::Zip, (dir / "beides.zip").string());
    ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
    EXPECT_EQ(engine->GetArchivItemsCount(), static_cast<int>(SampleTree().size()) + 2);  // and two directories
    EXPECT_TRUE(engine->ExecuteArchivVerify(tavik::TArchivVerifyMode::Complete)) << engine->LastError();
    engine->ExtractDir = (dir / "engine-aus").string();
    ASSERT_TRUE(engine->ExecuteArchivExtract()) << engine->LastError();
    EXPECT_EQ(ReadTree(dir / "engine-aus"), Expected());
}

// Merging writes the entries anew: the stub, the bytes after the archive and the broken extra
// fields are gone, and unzip and 7-Zip read the result without any warning.
TEST_F(ZipLenient, MergingGivesAnArchiveEveryReaderTakesWithoutWarning) {
    for (const char* name : {"beides.zip", "zip64-vorspann.zip", "extra-vorspann.zip"}) {
        SCOPED_TRACE(name);
        const fs::path target = dir / ("neu-" + std::string(name));
        fs::create_directories(target);
        const auto merge = Tool({Cli(), "merge", (dir / name).string(), target.string()});
        ASSERT_EQ(merge.status, 0) << merge.err;
        const std::string merged = (target / name).string();
        const auto unzip = Tool({"unzip", "-t", merged});
        EXPECT_EQ(unzip.status, 0) << unzip.out << unzip.err;
        const auto seven = Tool({"7zz", "t", merged});
        EXPECT_EQ(seven.status, 0) << seven.out;
        EXPECT_EQ(seven.out.find("Warning"), std::string::npos) << seven.out;
        const auto extract = Tool({Cli(), "extract", merged, (target / "aus").string()});
        EXPECT_EQ(extract.status, 0) << extract.err;
        EXPECT_EQ(ReadTree(target / "aus"), Expected());
    }
}

// Entries that share one local header stay refused when a stub stands before them: the check
// works on the corrected offsets.
TEST_F(ZipLenient, OverlappingEntriesBehindAStubAreStillRefused) {
    const std::string archive = (dir / "ueberlappt.zip").string();
    const auto verify = Tool({Cli(), "verify", archive});
    EXPECT_EQ(verify.status, 1);
    EXPECT_THAT(verify.err, HasSubstr("überlappen"));
    const auto extract = Tool({Cli(), "extract", archive, (dir / "aus").string()});
    EXPECT_EQ(extract.status, 1);
    EXPECT_TRUE(ReadTree(dir / "aus").empty());
}

}  // namespace
}  // namespace archivtest
