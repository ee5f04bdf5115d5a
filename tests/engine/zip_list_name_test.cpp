// A ZIP archive lists and verifies alike under a name ending in ".zip", which is taken as ZIP
// unseen, and under any other name (the nightly "SK261209.001"), which is recognised by its end
// records: the same lines, the same failure of a damaged archive, the same status. A file
// without end records is left to the simple checks, and a file of another format to format 1.
#include "tests/engine/archiv_test_helpers.h"
#include "tests/engine/zip_list_archives.h"

namespace archivtest {
namespace {

// Each text with every „NAME“ in it named as „OTHER“.
std::string Renamed(std::string text, const std::string& name, const std::string& other) {
    const std::string from = "„" + name + "“", to = "„" + other + "“";
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

class ZipListName : public ::testing::Test {
protected:
    void SetUp() override { Python(kArchives, {dir.str()}); }

    testsupport::ProcessResult Run(const std::string& command, const std::string& archive) {
        testsupport::ProcessOptions options;
        options.workDir = dir.str();
        options.env["TZ"] = "UTC";
        return testsupport::RunProcess({Cli(), command, archive}, options);
    }

    testsupport::TempDir dir;
};

TEST_F(ZipListName, AnArchiveListsAndVerifiesAlikeUnderEitherName) {
    const struct {
        const char* stem;
        int listStatus;  // under both names
        int verifyStatus;
    } cases[] = {
        {"plain", 0, 0},
        {"zip64", 0, 0},
        {"sfx", 0, 0},  // bytes before the archive
        {"names", 0, 0},
        {"wide", 0, 0},
        {"truncated", 1, 1},  // the end record counts an entry more than the directory holds
        {"badsig", 1, 1},     // a central header of a wrong signature
        {"badlocal", 0, 1},   // a local header of a wrong signature: listed, not verified
    };
    for (const auto& c : cases) {
        const std::string zip = std::string(c.stem) + ".zip", nightly = std::string(c.stem) + ".001";
        fs::copy_file(dir / zip, dir / nightly);
        for (const char* command : {"list", "verify"}) {
            SCOPED_TRACE(std::string(command) + " " + nightly);
            const testsupport::ProcessResult asZip = Run(command, zip);
            const testsupport::ProcessResult asNightly = Run(command, nightly);
            EXPECT_EQ(asZip.status, std::string(command) == "list" ? c.listStatus : c.verifyStatus) << asZip.err;
            EXPECT_EQ(asNightly.status, asZip.status);
            EXPECT_EQ(asNightly.out, Renamed(asZip.out, zip, nightly));
            EXPECT_EQ(asNightly.err, Renamed(asZip.err, zip, nightly));
        }
    }
}

// A damaged directory under another name shows the entries before its fault, as under ".zip".
TEST_F(ZipListName, ADamagedDirectoryShowsTheEntriesBeforeItsFault) {
    fs::copy_file(dir / "badsig.zip", dir / "SK261209.001");
    const testsupport::ProcessResult list = Run("list", "SK261209.001");
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.out,
              "0\t8\t2020-05-17 10:20:30\tbeleg0000.txt\n"
              "1\t8\t2020-05-17 10:20:30\tbeleg0001.txt\n");
    EXPECT_EQ(list.err,
              "vendrask-archiv: Das Archiv „SK261209.001“ ist beschädigt oder kein ZIP-Archiv (ein Eintrag des "
              "Inhaltsverzeichnisses hat eine falsche Kennung) und kann nicht gelesen werden.\n");
}

// Files that show no ZIP end records: under ".zip" they fail as ZIP archives; under another name
// the simple checks decide, and a file of another format is listed by format 1.
TEST_F(ZipListName, FilesWithoutEndRecordsAreLeftToTheSimpleChecks) {
    testsupport::WriteFile(dir / "beleg.txt", TextRecords(10));
    ASSERT_EQ(Tool({"bsdtar", "-czf", (dir / "paket.tgz").string(), "beleg.txt"}, dir.str()).status, 0);
    fs::copy_file(dir / "beleg.txt", dir / "text.zip");
    fs::copy_file(dir / "beleg.txt", dir / "text.001");
    fs::copy_file(dir / "paket.tgz", dir / "paket.001");
    const struct {
        const char* archive;
        int status;
        const char* err;
    } cases[] = {
        {"text.zip", 1,
         "vendrask-archiv: Das Archiv „text.zip“ ist beschädigt oder kein ZIP-Archiv (das Ende des Archivs "
         "(Endsatz des Inhaltsverzeichnisses) fehlt) und kann nicht gelesen werden.\n"},
        {"text.001", 1,
         "vendrask-archiv: Die Datei „text.001“ scheint defekt oder es handelt sich nicht um eine gültige "
         "Archivdatei.\n"},
        {"paket.001", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        const testsupport::ProcessResult list = Run("list", c.archive);
        EXPECT_EQ(list.status, c.status);
        EXPECT_EQ(list.err, c.err);
        EXPECT_EQ(list.out.find("beleg.txt") != std::string::npos, c.status == 0) << list.out;
    }
}

}  // namespace
}  // namespace archivtest
