// Deflate64 entries through vendrask-archiv: as 7-Zip writes them (plain and encrypted), as
// written symbol by symbol across the whole window, damaged, and one of more than 4 GiB.
#include <fstream>

#include "tests/engine/archiv_test_helpers.h"
#include "tests/engine/deflate64_writer.h"

namespace archivtest {
namespace {

// Writes a ZIP of one entry "a.bin" of the plain file's content, holding the raw Deflate64 data.
const char* const kHandMadeZip = R"(
import struct, sys, zlib
path, plain, packed = sys.argv[1:4]
data = open(plain, 'rb').read(); comp = open(packed, 'rb').read()
crc = zlib.crc32(data); name = b'a.bin'
local = struct.pack('<IHHHHHIIIHH', 0x04034b50, 21, 0, 9, 0, 0x21, crc, len(comp), len(data), len(name), 0)
central = struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 0x0315, 21, 0, 9, 0, 0x21, crc, len(comp), len(data),
                      len(name), 0, 0, 0, 0, 0o100644 << 16, 0)
body = local + name + comp
end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 1, 1, len(central) + len(name), len(body), 0)
open(path, 'wb').write(body + central + name + end)
)";

std::size_t Little(const std::string& bytes, std::size_t at, std::size_t size) {
    std::size_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = (value << 8) | static_cast<std::uint8_t>(bytes.at(at + i));
    return value;
}

// Where the raw data of the first entry starts, and its size as its local header gives it.
std::pair<std::size_t, std::size_t> FirstEntryData(const std::string& zip) {
    return {30 + Little(zip, 26, 2) + Little(zip, 28, 2), Little(zip, 18, 4)};
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class ZipDeflate64Archive : public ::testing::Test {
protected:
    testsupport::ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), archivtest::Cli());
        return Tool(args, dir.str());
    }
    // The check and the extraction refuse the archive's entry as damaged and write nothing.
    void RefusedAsDamaged(const std::string& zip) {
        for (const auto& result : {Cli({"verify", "--complete", zip}), Cli({"extract", zip, "aus"})}) {
            EXPECT_EQ(result.status, 1) << zip;
            EXPECT_NE(result.err.find("beschädigt"), std::string::npos) << result.err;
        }
        EXPECT_EQ(ReadTree(dir / "aus"), TTree{});
    }

    testsupport::TempDir dir;
};

TEST_F(ZipDeflate64Archive, SevenZipArchivesAreReadByteForByte) {
    TTree files{{"text.txt", TextRecords(30'000)},
                {"zufall-text.bin", Incompressible(100'000, 5) + TextRecords(3'000)},
                {"wiederholt.txt", [] {
                     std::string text;
                     for (int i = 0; i < 100'000; ++i) text += "Deflate64 ";
                     return text;
                 }()}};
    // Around the window and 7-Zip's blocks of 64 KiB and 128 KiB.
    for (const std::size_t size : {65'535, 65'536, 65'537, 131'071, 131'072, 131'073, 262'145})
        files["grenze-" + std::to_string(size) + ".txt"] = TextRecords(12'000).substr(0, size);
    WriteTree(dir / "src", files);
    testsupport::WriteFile(dir / "kennwort", "geheim\n");
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
             {"-mx1"}, {"-mx9"}, {"-pgeheim"}, {"-pgeheim", "-mem=AES256"}}) {
        const std::string zip = (dir / "d64.zip").string();
        std::vector<std::string> command{"7zz", "a", "-bso0", "-tzip", "-mm=Deflate64", zip, "."};
        command.insert(command.end() - 2, options.begin(), options.end());
        ASSERT_EQ(Tool(command, (dir / "src").string()).status, 0);
        std::vector<std::string> password;
        if (options.front() == "-pgeheim") password = {"--password-file", (dir / "kennwort").string()};
        // AES names the method in an extra field that zipinfo does not read.
        const auto methods = Tool({"unzip", "-Z", "-v", zip});
        if (options.back() != "-mem=AES256") {
            EXPECT_EQ(Count(methods.out, "deflated (enhanced-64k)"), files.size()) << options.back();
        }
        const auto list = Cli({"list", zip});
        EXPECT_EQ(list.status, 0) << list.err;
        for (const auto& [name, content] : files)
            EXPECT_NE(list.out.find("\t" + std::to_string(content.size()) + "\t"), std::string::npos) << name;
        std::vector<std::string> verify{"verify", "--complete", zip}, extract{"extract", zip, "aus"};
        verify.insert(verify.begin() + 1, password.begin(), password.end());
        extract.insert(extract.begin() + 1, password.begin(), password.end());
        const auto verified = Cli(verify);
        EXPECT_EQ(verified.status, 0) << verified.err;
        const auto extracted = Cli(extract);
        EXPECT_EQ(extracted.status, 0) << extracted.err;
        EXPECT_TRUE(ReadTree(dir / "aus") == files) << options.back();
        fs::remove_all(dir / "aus");
        fs::remove(zip);
    }
}

TEST_F(ZipDeflate64Archive, AnEntryAcrossTheWholeWindowWithLongLengths) {
    TDeflate64Writer writer;
    writer.Stored(false, Incompressible(65'535, 9));
    writer.Stored(false, "|");
    writer.Fixed(true);
    for (const std::uint32_t distance : {65'536u, 49'153u, 65'536u, 32'769u, 7u}) writer.Match(65'538, distance);
    writer.Match(300, 65'536);
    writer.End();
    testsupport::WriteFile(dir / "a.bin", writer.expected);
    testsupport::WriteFile(dir / "a.d64", writer.stream);
    const std::string zip = (dir / "hand.zip").string();
    Python(kHandMadeZip, {zip, (dir / "a.bin").string(), (dir / "a.d64").string()});
    // 7-Zip and Info-ZIP agree that the stream means what the writer kept.
    EXPECT_EQ(Tool({"7zz", "t", zip}).status, 0);
    EXPECT_EQ(Tool({"unzip", "-tq", zip}).status, 0);

    EXPECT_EQ(Cli({"verify", "--complete", zip}).status, 0);
    const auto extracted = Cli({"extract", zip, "aus"});
    ASSERT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_TRUE(testsupport::ReadFile(dir / "aus/a.bin") == writer.expected);
}

TEST_F(ZipDeflate64Archive, DamagedEntriesAreRefusedWithTheirReason) {
    testsupport::WriteFile(dir / "a.bin", TextRecords(20'000) + Incompressible(30'000, 4) + TextRecords(20'000));
    const std::string made = (dir / "made.zip").string();
    ASSERT_EQ(Tool({"7zz", "a", "-bso0", "-tzip", "-mm=Deflate64", made, "a.bin"}, dir.str()).status, 0);
    const std::string sound = testsupport::ReadFile(made);
    const auto [start, size] = FirstEntryData(sound);
    ASSERT_GT(size, 1000u);
    // Bytes changed at the start, in the middle and at the end of the data.
    for (const std::size_t at : {start, start + 1, start + size / 2, start + size - 1}) {
        std::string damaged = sound;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
        testsupport::WriteFile(made, damaged);
        SCOPED_TRACE(at - start);
        RefusedAsDamaged(made);
    }
    // The data stops short, the headers agree with it.
    testsupport::WriteFile(dir / "a.d64", sound.substr(start, size / 2));
    const std::string cut = (dir / "kurz.zip").string();
    Python(kHandMadeZip, {cut, (dir / "a.bin").string(), (dir / "a.d64").string()});
    RefusedAsDamaged(cut);
}

// A sparse file of zeros a little over 4 GiB; 7-Zip's fastest level packs it in seconds.
TEST_F(ZipDeflate64Archive, AnEntryOver4GiBIsCheckedCompletely) {
    const std::uintmax_t size = (std::uintmax_t{4} << 30) + 123'457;
    { std::ofstream{(dir / "gross.bin").string()}; }
    fs::resize_file(dir / "gross.bin", size);
    const std::string zip = (dir / "gross.zip").string();
    const auto made = Tool({"7zz", "a", "-bso0", "-tzip", "-mm=Deflate64", "-mx1", zip, "gross.bin"}, dir.str());
    ASSERT_EQ(made.status, 0) << made.err;
    fs::remove(dir / "gross.bin");
    const auto list = Cli({"list", zip});
    EXPECT_NE(list.out.find("0\t" + std::to_string(size) + "\t"), std::string::npos) << list.out;
    const auto verified = Cli({"verify", "--complete", zip});
    EXPECT_EQ(verified.status, 0) << verified.err;
}

}  // namespace
}  // namespace archivtest
