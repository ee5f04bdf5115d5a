// Deflate streams of stored blocks, read without inflating: only a stream that is nothing but
// such blocks, holds the size announced and ends with its final block is taken so; anything
// else is left to the inflater. In an archive, damage in such an entry is found as before.
#include <string>

#include "host/engine/pack/packed_check.h"
#include "host/engine/zip/zip_stored_blocks.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

std::string Block(const std::string& content, bool final, std::uint8_t unusedBits = 0) {
    const auto len = static_cast<std::uint16_t>(content.size());
    const auto nlen = static_cast<std::uint16_t>(~len);
    std::string block;
    block += static_cast<char>((final ? 1 : 0) | unusedBits << 3);
    block += static_cast<char>(len & 0xFF);
    block += static_cast<char>(len >> 8);
    block += static_cast<char>(nlen & 0xFF);
    block += static_cast<char>(nlen >> 8);
    return block + content;
}

std::optional<std::string> Content(const std::string& stream, std::uint64_t size) {
    const auto blocks =
        tavik::zip::StoredBlocksOnly(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size(), size);
    if (!blocks) return std::nullopt;
    std::string content;
    for (const auto& block : *blocks) content.append(reinterpret_cast<const char*>(block.data()), block.size());
    return content;
}

TEST(ZipStoredBlocks, TheContentOfAStreamOfStoredBlocksIsWhereItLies) {
    const std::string first = Incompressible(65'535, 1), second = Incompressible(4'000, 2);
    EXPECT_EQ(Content(Block(first, false) + Block("", false) + Block(second, true, 0x1F), 69'535), first + second);
    EXPECT_EQ(Content(Block("", true), 0), "");
}

TEST(ZipStoredBlocks, AnyOtherStreamIsLeftToTheInflater) {
    const std::string content = Incompressible(1'000, 3);
    const std::string stream = Block(content, true);
    EXPECT_FALSE(Content(stream, 999));                       // another size announced
    EXPECT_FALSE(Content(stream + "x", 1'000));               // bytes after the final block
    EXPECT_FALSE(Content(stream.substr(0, 900), 1'000));      // cut short
    EXPECT_FALSE(Content(Block(content, false), 1'000));      // no final block
    EXPECT_FALSE(Content(stream.substr(0, 3), 1'000));        // a header cut short
    std::string fixed = stream;
    fixed[0] = 0x03;  // BTYPE 01: fixed Huffman codes
    EXPECT_FALSE(Content(fixed, 1'000));
    std::string wrongComplement = stream;
    wrongComplement[3] = static_cast<char>(wrongComplement[3] ^ 1);
    EXPECT_FALSE(Content(wrongComplement, 1'000));
    EXPECT_FALSE(Content("", 0));
}

// Incompressible files are written in stored blocks: a byte changed in their data fails the
// CRC, a block header changed fails as damaged deflate data.
TEST(ZipStoredBlocks, DamageInAnEntryOfStoredBlocksIsFound) {
    testsupport::TempDir dir;
    const std::string random = Incompressible(200'000, 5);
    WriteTree(dir.path() / "src", {{"daten/zufall.bin", random}, {"daten/text.txt", TextRecords(2'000)}});
    const std::string archive = (dir / "ours.zip").string();
    {
        auto engine = Engine(tavik::TArchivFormat::Zip, archive);
        engine->FileItemAdd((dir / "src" / "daten").string());
        ASSERT_TRUE(engine->ExecuteFilesAdd(false)) << engine->LastError();
    }
    EXPECT_EQ(tavik::CheckArchiveContent(archive).Failure, "");
    const std::string sound = testsupport::ReadFile(archive);
    const std::size_t data = sound.find(random.substr(100'000, 64));
    ASSERT_NE(data, std::string::npos);
    // The header of the block that holds byte 65,535 of the content: after the first block.
    const std::size_t header = sound.find(random.substr(0, 64)) + 65'535;

    std::string changed = sound;
    changed[data] = static_cast<char>(changed[data] ^ 0x01);
    testsupport::WriteFile(archive, changed);
    const tavik::TContentCheck byte = tavik::CheckArchiveContent(archive);
    EXPECT_NE(byte.Failure.find("Prüfsummenfehler"), std::string::npos) << byte.Failure;

    changed = sound;
    changed[header + 3] = static_cast<char>(changed[header + 3] ^ 0x01);  // NLEN
    testsupport::WriteFile(archive, changed);
    const tavik::TContentCheck block = tavik::CheckArchiveContent(archive);
    EXPECT_NE(block.Failure.find("komprimierten Daten sind ungültig"), std::string::npos) << block.Failure;
}

}  // namespace
}  // namespace archivtest
