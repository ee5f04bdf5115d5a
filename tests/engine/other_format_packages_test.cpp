// rpm packages and WARC web archives are read as format 1, opened by name like every other file.
#include "host/engine/archiv_open.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivVerifyMode;

std::string Data(const std::string& name) { return testsupport::TestDataDir() + "/" + name; }

const char* const kRpmDoc = "usr/share/doc/beispiel/";

// Opens the copy in dir by name, checks both ways and extracts all of it into dir/aus.
std::unique_ptr<tavik::TArchivFormatAbstract> OpenCheckExtract(const testsupport::TempDir& dir,
                                                               const std::string& name) {
    auto archiv = tavik::OpenArchiv((dir / name).string());
    if (!archiv) return archiv;
    EXPECT_EQ(archiv->Format(), TArchivFormat::Other);
    EXPECT_TRUE(archiv->ExecuteArchivList()) << archiv->LastError();
    EXPECT_TRUE(archiv->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << archiv->LastError();
    archiv->ExtractDir = (dir / "aus").string();
    EXPECT_TRUE(archiv->ExecuteArchivExtract()) << archiv->LastError();
    return archiv;
}

TEST(OtherFormatPackages, TheSampleRpmIsWhatItsScriptWritesAndBsdtarReadsIt) {
    testsupport::TempDir dir;
    Python(testsupport::ReadFile(Data("make-rpm.py")), {(dir / "neu.rpm").string()});
    EXPECT_EQ(testsupport::ReadFile(dir / "neu.rpm"), testsupport::ReadFile(Data("small-package.rpm")));
    const auto listed = Tool({"bsdtar", "-tf", Data("small-package.rpm")});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("liesmich.txt"), std::string::npos) << listed.out;
}

TEST(OtherFormatPackages, AnRpmPackageIsOpenedListedCheckedAndExtracted) {
    testsupport::TempDir dir;
    std::filesystem::copy_file(Data("small-package.rpm"), dir / "beispiel-1.0-1.x86_64.rpm");
    const auto archiv = OpenCheckExtract(dir, "beispiel-1.0-1.x86_64.rpm");
    ASSERT_NE(archiv, nullptr);
    const std::string doc = kRpmDoc;
    EXPECT_EQ(EntryNames(*archiv), (std::vector<std::string>{"usr/share/doc/beispiel/", doc + "liesmich.txt",
                                                             doc + "zahlen.csv"}));
    // The content as bsdtar gives it.
    const auto expected = Tool({"bsdtar", "-xOf", Data("small-package.rpm"), "./" + doc + "zahlen.csv"});
    ASSERT_EQ(expected.status, 0) << expected.err;
    EXPECT_EQ(ReadTree(dir / "aus"),
              (TTree{{doc + "liesmich.txt", "Beispielpaket für vendrask\n"}, {doc + "zahlen.csv", expected.out}}));
}

std::string WarcRecord(const std::string& type, const std::string& uri, const std::string& body) {
    return "WARC/1.0\r\nWARC-Type: " + type + "\r\nWARC-Target-URI: " + uri +
           "\r\nWARC-Date: 2026-03-01T12:00:00Z\r\nWARC-Record-ID: <urn:uuid:5f0e0e58-1b7a-4c1e-9d35-" +
           std::to_string(body.size()) + ">\r\nContent-Type: text/plain\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body + "\r\n\r\n";
}

TEST(OtherFormatPackages, AWarcWebArchiveIsOpenedListedCheckedAndExtracted) {
    testsupport::TempDir dir;
    const std::string bericht = TextRecords(400);
    // The warcinfo record describes the file and is no entry.
    testsupport::WriteFile(dir / "sammlung.warc",
                           WarcRecord("warcinfo", "", "software: test\r\n") +
                               WarcRecord("resource", "http://beispiel.de/berichte/q1.txt", bericht) +
                               WarcRecord("resource", "http://beispiel.de/notiz.txt", "Notiz\n"));
    const auto listed = Tool({"bsdtar", "-tf", (dir / "sammlung.warc").string()});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, "berichte/q1.txt\nnotiz.txt\n");

    const auto archiv = OpenCheckExtract(dir, "sammlung.warc");
    ASSERT_NE(archiv, nullptr);
    EXPECT_EQ(EntryNames(*archiv), (std::vector<std::string>{"berichte/q1.txt", "notiz.txt"}));
    EXPECT_EQ(ReadTree(dir / "aus"), (TTree{{"berichte/q1.txt", bericht}, {"notiz.txt", "Notiz\n"}}));
}

TEST(OtherFormatPackages, AWarcWhoseRecordIsCutShortFailsTheCompleteCheck) {
    testsupport::TempDir dir;
    const std::string whole = WarcRecord("resource", "http://beispiel.de/a.txt", TextRecords(400));
    testsupport::WriteFile(dir / "kurz.warc", whole.substr(0, whole.size() / 2));
    auto engine = Engine(TArchivFormat::Other, (dir / "kurz.warc").string());
    ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
    EXPECT_EQ(EntryNames(*engine), (std::vector<std::string>{"a.txt"}));
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    EXPECT_NE(engine->LastError().find("„a.txt“: Die Daten des Eintrags sind unvollständig"), std::string::npos)
        << engine->LastError();
    // Not a file filled up with zeros to the size the record claims.
    engine->ExtractDir = (dir / "aus").string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_EQ(ReadTree(dir / "aus"), TTree{});
}

}  // namespace
}  // namespace archivtest
