// Opening by name: ".zip" unseen, any other name recognised as ZIP by its end records or
// verified, then as format 1.
#include "host/engine/archiv_open.h"
#include "host/engine/extract/entry_name.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;

TEST(ArchivOpen, ZipExtensionInAnyCaseIsTakenUnseen) {
    EXPECT_TRUE(tavik::HasZipExtension("/x/neu.zip"));
    EXPECT_TRUE(tavik::HasZipExtension("NEU.ZIP"));
    EXPECT_FALSE(tavik::HasZipExtension("SK261207.001"));
    EXPECT_FALSE(tavik::HasZipExtension("a.zip/b"));
    EXPECT_FALSE(tavik::HasZipExtension("a.zipx"));
    auto archiv = tavik::OpenArchiv("/gibt/es/nicht/neu.ZIP");
    ASSERT_NE(archiv, nullptr);
    EXPECT_EQ(archiv->Format(), TArchivFormat::Zip);
    EXPECT_EQ(archiv->ArchivFile, "/gibt/es/nicht/neu.ZIP");
}

TEST(ArchivOpen, OtherNamesAreVerifiedFormatZeroFirst) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "beleg.txt", TextRecords(10));
    ASSERT_EQ(Tool({"zip", "-q", (dir / "SK261207.001").string(), "beleg.txt"}, dir.str()).status, 0);
    ASSERT_EQ(Tool({"bsdtar", "-czf", (dir / "SK261207.002").string(), "beleg.txt"}, dir.str()).status, 0);
    auto zip = tavik::OpenArchiv((dir / "SK261207.001").string());
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(zip->Format(), TArchivFormat::Zip);
    auto tar = tavik::OpenArchiv((dir / "SK261207.002").string());
    ASSERT_NE(tar, nullptr);
    EXPECT_EQ(tar->Format(), TArchivFormat::Other);
    EXPECT_EQ(tavik::OpenArchiv((dir / "beleg.txt").string()), nullptr);
    EXPECT_EQ(tavik::OpenArchiv((dir / "fehlt.sar").string()), nullptr);
}

// End records that hold make a ZIP archive, whatever lies before them: a fault in the directory
// is reported by the command that reads it, as for a name ending in ".zip".
TEST(ArchivOpen, EndRecordsThatHoldMakeAZipArchive) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "a.txt", TextRecords(10));
    testsupport::WriteFile(dir / "b.txt", TextRecords(20));
    ASSERT_EQ(Tool({"zip", "-q", (dir / "SK261207.001").string(), "a.txt", "b.txt"}, dir.str()).status, 0);
    std::string bytes = testsupport::ReadFile(dir / "SK261207.001");
    const std::size_t second = bytes.rfind("PK\x01\x02");
    ASSERT_NE(second, std::string::npos);
    bytes[second + 3] = '\x07';
    testsupport::WriteFile(dir / "SK261207.002", bytes);
    for (const char* name : {"SK261207.001", "SK261207.002"}) {
        SCOPED_TRACE(name);
        tavik::TArchivRefusal refusal;
        auto archiv = tavik::OpenArchiv((dir / name).string(), &refusal);
        ASSERT_NE(archiv, nullptr);
        EXPECT_EQ(archiv->Format(), TArchivFormat::Zip);
        EXPECT_EQ(refusal.Found, "");
        EXPECT_EQ(archiv->LastError(), "");
    }
    auto damaged = tavik::OpenArchiv((dir / "SK261207.002").string());
    EXPECT_FALSE(damaged->ExecuteArchivList());
    EXPECT_EQ(damaged->LastErrorKind(), tavik::TErrorKind::DamagedArchive);
    EXPECT_NE(damaged->LastError().find("falsche Kennung"), std::string::npos) << damaged->LastError();
}

TEST(ArchivOpen, ChecksReportProgressAndTheOpenedObjectKeepsNoEvent) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "beleg.txt", TextRecords(10));
    ASSERT_EQ(Tool({"bsdtar", "-czf", (dir / "SK261207.002").string(), "beleg.txt"}, dir.str()).status, 0);
    testsupport::WriteFile(dir / "SK261207.003", TextRecords(10));
    int calls = 0;
    const tavik::TCommandProgressEvent counting = [&calls](tavik::TArchivFormatAbstract&, tavik::TArchivCommand,
                                                          std::int64_t, std::int64_t) { ++calls; };
    auto tar = tavik::OpenArchiv((dir / "SK261207.002").string(), nullptr, counting);
    ASSERT_NE(tar, nullptr);
    EXPECT_EQ(tar->Format(), TArchivFormat::Other);
    EXPECT_FALSE(tar->OnCommandProgress);
    EXPECT_GT(calls, 0);
    calls = 0;
    EXPECT_EQ(tavik::OpenArchiv((dir / "SK261207.003").string(), nullptr, counting), nullptr);
    EXPECT_GT(calls, 0);
}

TEST(ArchivOpen, ARefusedFileSaysWhyWhenAFormatTookItForItsOwn) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "k.txt", "kurz\n");
    ASSERT_EQ(Tool({"7zz", "a", "-bso0", "-pgeheim", "-mhe=on", "geheim.7z", "k.txt"}, dir.str()).status, 0);
    tavik::TArchivRefusal encrypted;
    EXPECT_EQ(tavik::OpenArchiv((dir / "geheim.7z").string(), &encrypted), nullptr);
    EXPECT_NE(encrypted.Reason.find("verschlüsselt"), std::string::npos) << encrypted.Reason;
    EXPECT_NE(encrypted.Found.find("kein ZIP-Archiv"), std::string::npos) << encrypted.Found;
    EXPECT_NE(encrypted.Found.find(encrypted.Reason), std::string::npos) << encrypted.Found;

    // No format knows a text: no reason beyond what each found.
    tavik::TArchivRefusal text;
    EXPECT_EQ(tavik::OpenArchiv((dir / "k.txt").string(), &text), nullptr);
    EXPECT_EQ(text.Reason, "");
    EXPECT_NE(text.Found.find("kein ZIP-Archiv"), std::string::npos) << text.Found;
    EXPECT_NE(text.Found.find("kein Archiv eines bekannten Formats"), std::string::npos) << text.Found;
}

TEST(ArchivOpen, FormatClasses) {
    EXPECT_TRUE(tavik::GetArchivFormatClass(TArchivFormat::Zip));
    EXPECT_TRUE(tavik::GetArchivFormatClass(TArchivFormat::Other));
    EXPECT_FALSE(tavik::GetArchivFormatClass(static_cast<TArchivFormat>(7)));
}

TEST(EntryName, RefusesWhatWouldLeaveTheTarget) {
    std::vector<std::string> parts;
    for (const char* name : {"../a", "a/../../b", "/etc/passwd", "C:/x", "c:x", "a\\..\\b", "", ".", "./", "a/\x01"})
        EXPECT_FALSE(tavik::CheckEntryName(name, parts).empty()) << name;
    EXPECT_TRUE(tavik::CheckEntryName("./a//b/./c.txt", parts).empty());
    EXPECT_EQ(parts, (std::vector<std::string>{"a", "b", "c.txt"}));
    EXPECT_TRUE(tavik::CheckEntryName("a..b/..c", parts).empty());  // dots inside names are harmless
}

TEST(EntryName, LinkTargetsStayInside) {
    const std::vector<std::string> deep = {"a", "b", "link"};
    EXPECT_TRUE(tavik::CheckLinkTarget(deep, "../../x").empty());
    EXPECT_TRUE(tavik::CheckLinkTarget(deep, "c/d").empty());
    EXPECT_FALSE(tavik::CheckLinkTarget(deep, "../../../x").empty());
    EXPECT_FALSE(tavik::CheckLinkTarget(deep, "/etc").empty());
    // ".." behind a name comes back from it; that name must be no link then.
    std::vector<std::string> passed;
    EXPECT_TRUE(tavik::CheckLinkTarget(deep, "c/../../..", &passed).empty());
    EXPECT_EQ(passed, (std::vector<std::string>{"a/b/c"}));
    passed.clear();
    EXPECT_TRUE(tavik::CheckLinkTarget({"x", "y", "link"}, "../x/./a/b/c/../../../g", &passed).empty());
    EXPECT_EQ(passed, (std::vector<std::string>{"x/x", "x/x/a", "x/x/a/b", "x/x/a/b/c", "x/x", "x/x/a", "x/x/a/b",
                                                "x/x", "x/x/a"}));
    EXPECT_FALSE(tavik::CheckLinkTarget(deep, "c/../../../..").empty());
    EXPECT_FALSE(tavik::CheckLinkTarget(deep, "../../c/../..").empty());
    EXPECT_FALSE(tavik::CheckLinkTarget({"link"}, "..").empty());
    EXPECT_FALSE(tavik::CheckLinkTarget({"link"}, "").empty());
}

TEST(EntryName, SplitsIntoRelDirAndFileName) {
    std::string relDir, fileName;
    bool directory = false;
    tavik::SplitEntryName("a/b/c.txt", relDir, fileName, directory);
    EXPECT_EQ(relDir, "a/b");
    EXPECT_EQ(fileName, "c.txt");
    EXPECT_FALSE(directory);
    tavik::SplitEntryName("a/b/", relDir, fileName, directory);
    EXPECT_EQ(relDir, "a");
    EXPECT_EQ(fileName, "b");
    EXPECT_TRUE(directory);
}

}  // namespace
}  // namespace archivtest
