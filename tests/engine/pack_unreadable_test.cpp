// Packing files of which some cannot be opened: they are item errors and left out, the archive
// holds the rest, and a new archive is written once, not once more for each such file (their
// entries are taken back as they fail).
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>

#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

class PackUnreadable : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 20; ++i) testsupport::WriteFile(Source(i), TextRecords(4000 + i));
        engine = Engine(tavik::TArchivFormat::Zip, archive);
        engine->OnCommandItemStart = [this](tavik::TArchivFormatAbstract&, tavik::TArchivCommand,
                                            tavik::PFileInfoItem& item) {
            if (unreadable.count(item->FileName) != 0) MakeUnreadable(item->FileName);
            return true;
        };
        engine->OnCommandItemProgress = [this](tavik::TArchivFormatAbstract&, tavik::TArchivCommand,
                                               tavik::PFileInfoItem item, std::int64_t done, std::int64_t total) {
            if (done == total) ++readCompletely[item->FileName];
        };
        engine->OnError = [this](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind kind,
                                 const std::string& item, const std::string&, bool& skip) {
            if (kind == tavik::TArchivErrorKind::Item) failed.push_back(item);
            if (onItemError) onItemError();
            skip = true;
        };
        engine->FileItemAdd((dir / "src").string());
    }

    fs::path Source(int i) const { return dir / "src" / Name(i); }
    static std::string Name(int i) { return "f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".dat"; }

    // The file stays where it is, but opening it fails: for a user its rights forbid it, root
    // (whom no right stops) finds a link in its place.
    void MakeUnreadable(const std::string& name) {
        const fs::path path = dir / "src" / name;
        if (::geteuid() != 0) {
            fs::permissions(path, fs::perms::none);
            return;
        }
        fs::remove(path);
        fs::create_symlink(dir / "anderswo", path);
    }

    std::vector<std::string> Packed() const {
        std::vector<std::string> names;
        for (const auto& item : engine->GetFileItemsList().Items())
            if ((item.Attributes & tavik::faDirectory) == 0) names.push_back(item.FileName);
        return Sorted(names);
    }

    std::vector<std::string> AllBut(const std::set<int>& left) const {
        std::vector<std::string> names;
        for (int i = 0; i < 20; ++i)
            if (left.count(i) == 0) names.push_back(Name(i));
        return names;
    }

    std::vector<std::string> Paths(const std::vector<int>& files) const {
        std::vector<std::string> paths;
        for (const int i : files) paths.push_back(Source(i).string());
        return paths;
    }

    testsupport::TempDir dir;
    const std::string archive = (dir / "a.zip").string();
    std::unique_ptr<tavik::TArchivFormatAbstract> engine;
    std::set<std::string> unreadable;
    std::map<std::string, int> readCompletely;  // how often each file was read to its end
    std::vector<std::string> failed;
    std::function<void()> onItemError;
};

TEST_F(PackUnreadable, ThreeFilesThatCannotBeOpenedAreLeftOutInOnePass) {
    unreadable = {Name(3), Name(9), Name(15)};
    EXPECT_FALSE(engine->ExecuteFilesAdd(false));
    EXPECT_EQ(failed, Paths({3, 9, 15}));
    EXPECT_EQ(Packed(), AllBut({3, 9, 15}));
    // Each file that went in was read once: the archive was written once.
    for (const std::string& name : AllBut({3, 9, 15})) EXPECT_EQ(readCompletely[name], 1) << name;
    for (const std::string& name : unreadable) EXPECT_EQ(readCompletely.count(name), 0u) << name;
    EXPECT_EQ(Tool({"unzip", "-tq", archive}).status, 0);
    const testsupport::ProcessResult listing = Tool({"unzip", "-Z1", archive});
    for (const std::string& name : unreadable) EXPECT_EQ(listing.out.find(name), std::string::npos) << name;
    EXPECT_EQ(testsupport::ReadFile(Source(4)), TextRecords(4004));
    EXPECT_EQ(Tool({"unzip", "-p", archive, "src/" + Name(4)}).out, TextRecords(4004));
}

// Files added to an archive that is there go through libzip, which gives up the whole archive
// when a file fails while it is written: that file costs one more pass.
TEST_F(PackUnreadable, AFileAddedToAnArchiveThatFailsOnlyWhileItIsWrittenCostsOneMorePass) {
    testsupport::WriteFile(dir / "alt.txt", TextRecords(10));
    ASSERT_EQ(Tool({"zip", "-q", archive, "alt.txt"}, dir.path().string()).status, 0);
    unreadable = {Name(3), Name(9), Name(15)};
    // f05 could be opened before writing began; it fails only when it is read.
    onItemError = [this] {
        if (failed.size() == 3) MakeUnreadable(Name(5));
    };
    EXPECT_FALSE(engine->ExecuteFilesAdd(true));
    EXPECT_EQ(failed, Paths({3, 9, 15, 5}));
    EXPECT_EQ(Packed(), AllBut({3, 5, 9, 15}));
    EXPECT_EQ(readCompletely[Name(0)], 2);
    EXPECT_EQ(readCompletely[Name(19)], 1);
    EXPECT_EQ(Tool({"unzip", "-tq", archive}).status, 0);
    const std::string listing = Tool({"unzip", "-Z1", archive}).out;
    EXPECT_EQ(listing.find(Name(5)), std::string::npos);
    EXPECT_NE(listing.find("alt.txt"), std::string::npos);
}

}  // namespace
}  // namespace archivtest
