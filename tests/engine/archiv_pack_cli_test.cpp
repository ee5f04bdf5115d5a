// vendrask-archiv pack and add where the files or the archive are not what they seem: files
// that cannot be read, an archive given through a symbolic link.
#include <sys/stat.h>
#include <unistd.h>

#include "tests/engine/archiv_test_helpers.h"
#include "tests/support/unprivileged.h"

namespace archivtest {
namespace {

class PackCli : public ::testing::Test {
protected:
    void SetUp() override {
        // A user without rights must reach the program and the directory; /tmp's parents are open.
        fs::permissions(dir.path(), fs::perms::all);
        for (const char* name : {"a.dat", "b.dat"}) testsupport::WriteFile(dir / name, std::string("Inhalt ") + name);
    }

    // As a user without any rights when the test runs as root, so that a file with no read
    // permission really cannot be read.
    testsupport::ProcessResult Unprivileged(std::vector<std::string> args) {
        args.insert(args.begin(), Cli());
        return Tool(testsupport::Unprivileged(args), dir.str());
    }

    // Entries and nothing else of the directory but what is expected.
    std::vector<std::string> DirectoryEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
        return Sorted(names);
    }

    testsupport::TempDir dir;
};

TEST_F(PackCli, EveryFileUnreadableSaysSoAndWritesNoArchive) {
    for (const char* name : {"a.dat", "b.dat"}) fs::permissions(dir / name, fs::perms::none);
    struct TCase {
        std::string Command;
        bool ArchiveBefore;
    };
    for (const TCase& c : {TCase{"pack", false}, TCase{"add", false}, TCase{"add", true}}) {
        fs::remove(dir / "neu.zip");
        if (c.ArchiveBefore) {
            testsupport::WriteFile(dir / "alt.txt", "alt");
            ASSERT_EQ(Tool({Cli(), "pack", "neu.zip", "alt.txt"}, dir.str()).status, 0);
            fs::remove(dir / "alt.txt");
            fs::permissions(dir / "neu.zip", fs::perms(0666));
        }
        const auto run = Unprivileged({c.Command, "neu.zip", "a.dat", "b.dat"});
        EXPECT_EQ(run.status, 1) << c.Command;
        EXPECT_NE(run.err.find("a.dat"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("b.dat"), std::string::npos) << run.err;
        if (c.ArchiveBefore) {
            // There was something to keep: the archive is written with what it had.
            EXPECT_EQ(Tool({Cli(), "list", (dir / "neu.zip").string()}).out.find("a.dat"), std::string::npos);
            continue;
        }
        EXPECT_NE(run.err.find("Keine der Dateien konnte gelesen werden"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("existiert nicht"), std::string::npos) << run.err;
        EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{"a.dat", "b.dat"})) << c.Command << ": " << run.err;
    }
}

TEST_F(PackCli, AddThroughALinkAddsToTheArchiveBehindItAndKeepsTheLink) {
    fs::create_directories(dir / "ablage");
    ASSERT_EQ(Tool({Cli(), "pack", "ablage/echt.zip", "a.dat"}, dir.str()).status, 0);
    fs::create_symlink("ablage/echt.zip", dir / "verweis.zip");
    const auto add = Tool({Cli(), "add", "verweis.zip", "b.dat"}, dir.str());
    ASSERT_EQ(add.status, 0) << add.err;
    EXPECT_TRUE(fs::is_symlink(dir / "verweis.zip"));
    EXPECT_EQ(fs::read_symlink(dir / "verweis.zip"), "ablage/echt.zip");
    const auto list = Tool({Cli(), "list", (dir / "ablage/echt.zip").string()});
    EXPECT_NE(list.out.find("\ta.dat\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\tb.dat\n"), std::string::npos) << list.out;
    // Nothing else was left beside the archive or the link.
    EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{"a.dat", "ablage", "b.dat", "verweis.zip"}));
    std::vector<std::string> stored;
    for (const auto& entry : fs::directory_iterator(dir / "ablage")) stored.push_back(entry.path().filename().string());
    EXPECT_EQ(stored, std::vector<std::string>{"echt.zip"});
    // Packed anew through the link: the same.
    const auto pack = Tool({Cli(), "pack", "verweis.zip", "a.dat"}, dir.str());
    ASSERT_EQ(pack.status, 0) << pack.err;
    EXPECT_TRUE(fs::is_symlink(dir / "verweis.zip"));
    EXPECT_EQ(Tool({Cli(), "list", (dir / "ablage/echt.zip").string()}).out.find("b.dat"), std::string::npos);
    // A link whose target is gone is refused, and stays a link.
    fs::create_symlink("ablage/fehlt.zip", dir / "leer.zip");
    const auto dangling = Tool({Cli(), "add", "leer.zip", "a.dat"}, dir.str());
    EXPECT_EQ(dangling.status, 1);
    EXPECT_NE(dangling.err.find("symbolische Verknüpfung"), std::string::npos) << dangling.err;
    EXPECT_TRUE(fs::is_symlink(dir / "leer.zip"));
}

}  // namespace
}  // namespace archivtest
