// ZIP entries compressed with bzip2, LZMA, XZ, Zstandard and PPMd, as 7-Zip, Info-ZIP and Python
// write them: listed, checked and extracted byte for byte; damaged or greedy data refused.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivVerifyMode;

// Writes a ZIP of one entry "a.txt" with the given method and compressed bytes (read from a
// file), declaring size bytes (-1: the true size). Python has no Zstandard writer.
const char* const kHandMadeZip = R"(
import struct, sys, zlib
path, source, packed, method, size = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
data = open(source, 'rb').read(); comp = open(packed, 'rb').read()
if size < 0: size = len(data)
crc = zlib.crc32(data); name = b'a.txt'
local = struct.pack('<IHHHHHIIIHH', 0x04034b50, 63, 0, method, 0, 0x21, crc, len(comp), size, len(name), 0)
central = struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 0x033f, 63, 0, method, 0, 0x21, crc, len(comp), size,
                      len(name), 0, 0, 0, 0, 0o100644 << 16, 0)
body = local + name + comp
end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 1, 1, len(central) + len(name), len(body), 0)
open(path, 'wb').write(body + central + name + end)
)";

class ZipMethods : public ::testing::Test {
protected:
    void SetUp() override { testsupport::WriteFile(dir / "a.txt", Content()); }

    static std::string Content() { return TextRecords(20000) + Incompressible(50'000, 3); }

    std::string SevenZip(const std::string& name, const std::string& method) {
        const std::string archive = (dir / name).string();
        const auto made = Tool({"7zz", "a", "-tzip", "-bso0", "-mm=" + method, archive, "a.txt"}, dir.str());
        EXPECT_EQ(made.status, 0) << made.err;
        return archive;
    }

    std::string Zstd(const std::string& name, const std::vector<std::string>& options = {"-19"},
                     long long declared = -1) {
        std::vector<std::string> argv = {"zstd", "-q", "-f", "-o", (dir / "a.zst").string()};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back("-");  // from a pipe the size is unknown, and the window stays as asked
        const auto packed = Tool(argv, {}, Content());
        EXPECT_EQ(packed.status, 0) << packed.err;
        const std::string archive = (dir / name).string();
        Python(kHandMadeZip,
               {archive, (dir / "a.txt").string(), (dir / "a.zst").string(), "93", std::to_string(declared)});
        return archive;
    }

    // Lists, checks completely and extracts; the extracted file must be the original.
    void ReadsExactly(const std::string& archive) {
        auto engine = Engine(TArchivFormat::Zip, archive);
        ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
        EXPECT_EQ(EntryNames(*engine), (std::vector<std::string>{"a.txt"}));
        EXPECT_EQ(engine->GetArchivItem(0).Size, static_cast<std::int64_t>(Content().size()));
        EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << engine->LastError();
        engine->ExtractDir = (dir / "out").string();
        ASSERT_TRUE(engine->ExecuteArchivExtract()) << engine->LastError();
        EXPECT_TRUE(testsupport::ReadFile(dir / "out/a.txt") == Content()) << archive;
        fs::remove_all(dir / "out");
    }

    // The complete check fails on the entry with a reason containing the words.
    std::string RefusedReason(const std::string& archive) {
        auto engine = Engine(TArchivFormat::Zip, archive);
        TRecorder recorder;
        recorder.Attach(*engine);
        EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
        EXPECT_EQ(recorder.errorItems, (std::vector<std::string>{"a.txt"}));
        engine->ExtractDir = (dir / "refused").string();
        EXPECT_FALSE(engine->ExecuteArchivExtract());
        EXPECT_FALSE(fs::exists(dir / "refused/a.txt"));
        return engine->LastError();
    }

    static void Patch(const std::string& file, std::size_t at, char value) {
        std::string bytes = testsupport::ReadFile(file);
        ASSERT_LT(at, bytes.size());
        bytes[at] = value;
        testsupport::WriteFile(file, bytes);
    }

    testsupport::TempDir dir;
};

TEST_F(ZipMethods, Bzip2FromInfoZipAnd7Zip) {
    const auto zipped = Tool({"zip", "-q", "-Z", "bzip2", "iz.zip", "a.txt"}, dir.str());
    ASSERT_EQ(zipped.status, 0) << zipped.err;
    ReadsExactly((dir / "iz.zip").string());
    ReadsExactly(SevenZip("7z.zip", "BZip2"));
}

TEST_F(ZipMethods, LzmaWithAndWithoutEndMarker) {
    // 7-Zip ends the stream by the size alone, Python writes the end marker (flag bit 1).
    ReadsExactly(SevenZip("7z.zip", "LZMA"));
    Python("import zipfile, sys\n"
           "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_LZMA) as z: z.write(sys.argv[2], 'a.txt')\n",
           {(dir / "py.zip").string(), (dir / "a.txt").string()});
    ReadsExactly((dir / "py.zip").string());
}

TEST_F(ZipMethods, XzAndZstandardAgreeWith7Zip) {
    const std::string xz = SevenZip("xz.zip", "XZ");
    const std::string zstd = Zstd("zstd.zip");
    for (const std::string& archive : {xz, zstd}) {
        const auto tested = Tool({"7zz", "t", archive});
        EXPECT_EQ(tested.status, 0) << archive << tested.out;
        ReadsExactly(archive);
    }
}

TEST_F(ZipMethods, ADictionaryClaimBeyondTheDataIsNotTaken) {
    // The LZMA properties after the 4-byte ZIP header claim a 4 GiB dictionary.
    const std::string archive = SevenZip("gross.zip", "LZMA");
    const std::size_t properties = 30 + 5 + 4;  // local header, name, version and length
    for (std::size_t i = 1; i <= 4; ++i) Patch(archive, properties + i, '\xff');
    ReadsExactly(archive);
}

TEST_F(ZipMethods, AWindowBeyondTheBoundIsRefusedNotAllocated) {
    // A frame without its size that asks for a 1 GiB window.
    const std::string archive = Zstd("fenster.zip", {"--long=30"});
    EXPECT_NE(RefusedReason(archive).find("Arbeitsspeicher"), std::string::npos);
}

TEST_F(ZipMethods, DamagedOrLongerDataIsAnItemError) {
    const std::string lzma = SevenZip("kaputt.zip", "LZMA");
    Patch(lzma, 30 + 5 + 200, '\x55');
    EXPECT_NE(RefusedReason(lzma).find("beschädigt"), std::string::npos);
    const std::string xz = SevenZip("kaputt-xz.zip", "XZ");
    Patch(xz, 30 + 5 + 300, '\x55');
    EXPECT_NE(RefusedReason(xz).find("beschädigt"), std::string::npos);
    // The directory declares less than the data holds.
    const std::string longer = Zstd("laenger.zip", {"-3"}, 1000);
    EXPECT_NE(RefusedReason(longer).find("mehr Daten"), std::string::npos);
}

TEST_F(ZipMethods, PpmdIsDecodedByTheHelperWithEveryOrderAndModelSize) {
    // 7-Zip's default, its largest model with the highest order, and the smallest of both.
    for (const std::string& archive : {SevenZip("ppmd.zip", "PPMd"), SevenZip("gross.zip", "PPMd:mem=256m:o=16"),
                                       SevenZip("klein.zip", "PPMd:mem=1m:o=2")}) {
        const auto tested = Tool({"7zz", "t", archive});
        EXPECT_EQ(tested.status, 0) << archive << tested.out;
        ReadsExactly(archive);
    }
    ExpectNoChildren();
}

TEST_F(ZipMethods, DamagedPpmdIsAnItemErrorWithItsReason) {
    const std::string flipped = SevenZip("kaputt.zip", "PPMd");
    Patch(flipped, 30 + 5 + 300, '\x55');
    EXPECT_NE(RefusedReason(flipped).find("beschädigt"), std::string::npos);
    // Restore method 15 in the stream's two-byte header: no PPMd stream has it.
    const std::string parameters = SevenZip("parameter.zip", "PPMd");
    Patch(parameters, 30 + 5 + 1, '\xf7');
    const std::string reason = RefusedReason(parameters);
    EXPECT_NE(reason.find("PPMd"), std::string::npos) << reason;
    EXPECT_NE(reason.find("beschädigt"), std::string::npos) << reason;
    // The directory declares less than the stream makes: decoding stops there.
    const std::string longer = SevenZip("laenger.zip", "PPMd");
    Python("import struct, sys\n"
           "data = bytearray(open(sys.argv[1], 'rb').read())\n"
           "struct.pack_into('<I', data, 22, 1000)\n"
           "struct.pack_into('<I', data, data.find(b'PK\\x01\\x02') + 24, 1000)\n"
           "open(sys.argv[1], 'wb').write(data)\n",
           {longer});
    EXPECT_NE(RefusedReason(longer).find("mehr Daten"), std::string::npos);
    ExpectNoChildren();
}

// One helper decodes the entries in turn. Damage that the helper finds leaves it ready for the
// next entry; damage that the engine finds while data still flows ends it, and a new helper takes
// the next entry. Either way only the damaged entries fail.
TEST_F(ZipMethods, DamagedPpmdEntriesAmongSoundOnesFailAlone) {
    const TTree files{{"a.txt", TextRecords(3000)}, {"b.txt", TextRecords(4000)}, {"c.txt", TextRecords(5000)},
                      {"d.txt", TextRecords(6000)}, {"e.txt", "e"}};
    WriteTree(dir / "viele", files);
    const std::string archive = (dir / "viele.zip").string();
    ASSERT_EQ(Tool({"7zz", "a", "-tzip", "-bso0", "-mm=PPMd", archive, "a.txt", "b.txt", "c.txt", "d.txt", "e.txt"},
                   (dir / "viele").string())
                  .status,
              0);
    // b: a changed byte of its data; c: restore method 15 in its stream header.
    Python("import struct, sys, zipfile\n"
           "archive = zipfile.ZipFile(sys.argv[1])\n"
           "data = bytearray(open(sys.argv[1], 'rb').read())\n"
           "def start(member):\n"
           "    offset = archive.getinfo(member).header_offset\n"
           "    name, extra = struct.unpack_from('<HH', data, offset + 26)\n"
           "    return offset + 30 + name + extra\n"
           "data[start('b.txt') + 100] ^= 0x55\n"
           "data[start('c.txt') + 1] = 0xf7\n"
           "open(sys.argv[1], 'wb').write(data)\n",
           {archive});
    auto engine = Engine(TArchivFormat::Zip, archive);
    TRecorder recorder;
    recorder.Attach(*engine);
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    EXPECT_EQ(recorder.errorItems, (std::vector<std::string>{"b.txt", "c.txt"}));
    engine->ExtractDir = (dir / "out").string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    TTree expected = files;
    expected.erase("b.txt");
    expected.erase("c.txt");
    EXPECT_EQ(ReadTree(dir / "out"), expected);
    ExpectNoChildren();
}

TEST_F(ZipMethods, AbortWhilePpmdIsDecodedEndsTheHelper) {
    testsupport::WriteFile(dir / "a.txt", TextRecords(200'000));
    auto engine = Engine(TArchivFormat::Zip, SevenZip("ppmd.zip", "PPMd"));
    engine->OnCommandProgress = [](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand, std::int64_t done,
                                   std::int64_t) {
        if (done > 0) sender.Abort();
    };
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    EXPECT_EQ(engine->LastErrorKind(), tavik::TErrorKind::Aborted) << engine->LastError();
    ExpectNoChildren();
}

}  // namespace
}  // namespace archivtest
