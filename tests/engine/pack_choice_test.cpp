// Which queued items an archive gets: the caller skips items as they are asked about, a later
// item of the same entry name takes the place of an earlier one, and the list of what was
// packed names each item as it was queued (directory, name, entry name, size, CRC, SHA-256).
#include <zlib.h>

#include "host/engine/pack/packed_check.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

tavik::TFileInfoItem Queued(const fs::path& absDir, const std::string& fileName, const std::string& relDir) {
    tavik::TFileInfoItem item;
    item.FileName = fileName;
    item.AbsDir = absDir.string();
    item.RelDir = relDir;
    return item;
}

TEST(PackChoice, SkippedItemsAreLeftOutAndLaterNamesReplaceEarlierOnes) {
    testsupport::TempDir dir;
    const fs::path a = dir / "a";
    const fs::path b = dir / "b";
    testsupport::WriteFile(a / "eins.txt", "eins aus a\n");
    testsupport::WriteFile(a / "zwei.txt", "zwei aus a\n");
    testsupport::WriteFile(a / "drei.txt", "drei aus a\n");
    testsupport::WriteFile(b / "eins.txt", "eins aus b, später eingereiht\n");
    testsupport::WriteFile(b / "vier.txt", "vier aus b\n");
    testsupport::WriteFile(b / "fuenf.txt", "fünf aus b, übersprungen\n");

    const struct {
        fs::path absDir;
        std::string fileName;
        std::string relDir;
    } queue[] = {
        {a, "eins.txt", "belege"},  // replaced by the item from b below
        {a, "zwei.txt", "belege"},
        {b, "fuenf.txt", "belege"},  // skipped by the caller
        {a, "drei.txt", "andere"},
        {b, "eins.txt", "belege"},
        {b, "vier.txt", "belege"},
        {a, "zwei.txt", "belege"},  // the same file again, in the same place
    };
    // Entry name, the directory it was read from, its content, in the order of the list.
    const struct {
        std::string entry;
        fs::path absDir;
        std::string content;
    } expected[] = {
        {"belege/eins.txt", b, "eins aus b, später eingereiht\n"},
        {"belege/zwei.txt", a, "zwei aus a\n"},
        {"andere/drei.txt", a, "drei aus a\n"},
        {"belege/vier.txt", b, "vier aus b\n"},
    };

    const std::string archive = (dir / "wahl.zip").string();
    auto engine = Engine(tavik::TArchivFormat::Zip, archive);
    std::vector<std::string> asked;
    engine->OnCommandItemStart = [&](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::PFileInfoItem& item) {
        asked.push_back(item->RelDir + "/" + item->FileName);
        return item->FileName != "fuenf.txt";
    };
    for (const auto& q : queue) engine->FileItemAdd(Queued(q.absDir, q.fileName, q.relDir));
    ASSERT_TRUE(engine->ExecuteFilesAdd(false)) << engine->LastError();
    EXPECT_EQ(asked.size(), std::size(queue));

    const auto& packed = engine->GetFileItemsList().Items();
    ASSERT_EQ(packed.size(), std::size(expected));
    for (std::size_t i = 0; i < packed.size(); ++i) {
        SCOPED_TRACE(expected[i].entry);
        const tavik::TFileInfoItem& item = packed[i];
        EXPECT_EQ(item.EntryName, expected[i].entry);
        EXPECT_EQ(item.AbsDir, expected[i].absDir.string());
        EXPECT_EQ(item.RelDir + "/" + item.FileName, expected[i].entry);
        EXPECT_EQ(item.Size, static_cast<std::int64_t>(expected[i].content.size()));
        EXPECT_EQ(item.Crc, crc32(0, reinterpret_cast<const Bytef*>(expected[i].content.data()),
                                  static_cast<uInt>(expected[i].content.size())));
        EXPECT_TRUE(item.Sha256.has_value());
        EXPECT_EQ(item.Attributes, 0u);
    }
    EXPECT_EQ(tavik::CheckPackedArchive(archive, packed), "");
    TTree inArchive;
    const fs::path out = dir / "aus";
    ASSERT_EQ(Tool({"unzip", "-q", archive, "-d", out.string()}).status, 0);
    for (const auto& e : expected) inArchive[e.entry] = e.content;
    EXPECT_EQ(ReadTree(out), inArchive);
}

}  // namespace
}  // namespace archivtest
