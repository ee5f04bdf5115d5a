// Packing a directory tree: what the walk below it reaches and what it reports as item errors.
#include <sys/stat.h>

#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

struct TItemError {
    std::string item, reason;
};

// A chain of directories root/d/d/.../d, built and taken down at the top, so that no path used
// grows with the depth (the usual recursive ways take seconds on it).
class TDeepTree {
public:
    // files: level of a directory (1: root/d) -> a file name put into it.
    TDeepTree(const fs::path& root, int levels, const std::map<int, std::string>& files) : FRoot(root) {
        fs::create_directories(root / "d");
        const auto fileAt = [&files](int level, const fs::path& dir) {
            if (const auto found = files.find(level); found != files.end())
                testsupport::WriteFile(dir / found->second, found->second);
        };
        fileAt(levels, root / "d");
        for (int level = levels - 1; level >= 1; --level) {
            fs::create_directory(root / "n");
            fs::rename(root / "d", root / "n" / "d");
            fs::rename(root / "n", root / "d");
            fileAt(level, root / "d");
        }
    }
    ~TDeepTree() {
        std::error_code error;
        while (fs::exists(FRoot / "d" / "d", error)) {
            fs::rename(FRoot / "d" / "d", FRoot / "n", error);
            fs::remove_all(FRoot / "d", error);
            fs::rename(FRoot / "n", FRoot / "d", error);
            if (error) return;
        }
    }
    TDeepTree(const TDeepTree&) = delete;
    TDeepTree& operator=(const TDeepTree&) = delete;

private:
    fs::path FRoot;
};

TEST(PackWalk, ATreeDeeperThanTheWalkGoesIsAnItemErrorAndTheRestIsPacked) {
    testsupport::TempDir dir;
    const fs::path root = dir / "src";
    const TDeepTree tree(root, 1010, {{500, "mitte.txt"}, {1010, "unten.txt"}});
    testsupport::WriteFile(root / "oben.txt", "oben");

    const std::string archive = (dir / "a.zip").string();
    auto engine = Engine(tavik::TArchivFormat::Zip, archive);
    std::vector<TItemError> errors;
    engine->OnError = [&errors](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind kind,
                                const std::string& item, const std::string& reason, bool& skip) {
        if (kind == tavik::TArchivErrorKind::Item) errors.push_back({item, reason});
        skip = true;
    };
    engine->FileItemAdd(root.string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(false));

    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].reason.find("mehr als 1000 Ebenen tief"), std::string::npos) << errors[0].reason;
    EXPECT_EQ(errors[0].item.rfind(root.string() + "/d/d/", 0), 0u);
    // The directory reported is the first one below the limit, not packed itself.
    const std::size_t levels = (errors[0].item.size() - root.string().size()) / 2;
    EXPECT_EQ(levels, 1001u);
    std::vector<std::string> files;
    std::size_t directories = 0;
    for (const auto& item : engine->GetFileItemsList().Items()) {
        if ((item.Attributes & tavik::faDirectory) != 0) ++directories;
        else files.push_back(item.FileName);
    }
    EXPECT_EQ(Sorted(files), (std::vector<std::string>{"mitte.txt", "oben.txt"}));
    EXPECT_EQ(directories, 1u + 1000u);  // src and the levels walked
    EXPECT_EQ(Tool({"unzip", "-tq", archive}).status, 0);
}

}  // namespace
}  // namespace archivtest
