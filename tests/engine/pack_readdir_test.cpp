// Packing a directory whose listing fails part way: the directory is an item error, never an
// archive that silently lacks its files. readdir is interposed for this test program: it fails
// for the one directory the test names and passes everything else to the C library.
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>

#include "tests/engine/archiv_test_helpers.h"

namespace {
ino_t failingDirectory = 0;  // the inode whose listing fails; 0: none
int entriesBeforeFailing = 0;  // entries of it returned before the failure
}  // namespace

extern "C" struct dirent* readdir(DIR* dir) {
    using TReaddir = struct dirent* (*)(DIR*);
    static const auto real = reinterpret_cast<TReaddir>(::dlsym(RTLD_NEXT, "readdir"));
    struct stat st {};
    if (failingDirectory != 0 && ::fstat(::dirfd(dir), &st) == 0 && st.st_ino == failingDirectory) {
        if (entriesBeforeFailing > 0) {
            --entriesBeforeFailing;
            return real(dir);
        }
        errno = EIO;
        return nullptr;
    }
    return real(dir);
}

namespace archivtest {
namespace {

TEST(PackReaddir, AListingThatFailsIsAnItemErrorOfItsDirectory) {
    testsupport::TempDir dir;
    WriteTree(dir.path() / "src", {{"a.txt", "a"}, {"unter/b.txt", "b"}});
    struct stat st {};
    ASSERT_EQ(::stat((dir.path() / "src/unter").c_str(), &st), 0);
    auto engine = Engine(tavik::TArchivFormat::Zip, (dir.path() / "a.zip").string());
    std::vector<std::string> failed;
    engine->OnError = [&failed](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind,
                                const std::string& item, const std::string& reason, bool& skip) {
        failed.push_back(item + ": " + reason);
        skip = true;
    };
    engine->FileItemAdd((dir.path() / "src").string());
    failingDirectory = st.st_ino;
    const bool ok = engine->ExecuteFilesAdd(false);
    failingDirectory = 0;
    EXPECT_FALSE(ok);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_NE(failed[0].find("src/unter: Das Verzeichnis kann nicht vollständig gelesen werden"), std::string::npos)
        << failed[0];
    // What could be read is packed; nothing claims the unread files.
    for (const auto& item : engine->GetFileItemsList().Items()) EXPECT_NE(item.FileName, "b.txt");
}

TEST(PackReaddir, NothingOfADirectoryReadOnlyInPartIsPacked) {
    testsupport::TempDir dir;
    WriteTree(dir.path() / "src", {{"a.txt", "a"},
                                   {"unter/b.txt", "b"},
                                   {"unter/c.txt", "c"},
                                   {"unter/d.txt", "d"},
                                   {"unter/tief/e.txt", "e"},
                                   {"z.txt", "z"}});
    struct stat st {};
    ASSERT_EQ(::stat((dir.path() / "src/unter").c_str(), &st), 0);
    auto engine = Engine(tavik::TArchivFormat::Zip, (dir.path() / "a.zip").string());
    std::vector<std::string> failed;
    engine->OnError = [&failed](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind,
                                const std::string& item, const std::string&, bool& skip) {
        failed.push_back(item);
        skip = true;
    };
    engine->FileItemAdd((dir.path() / "src").string());
    failingDirectory = st.st_ino;
    entriesBeforeFailing = 5;  // ".", ".." and three of its four entries, in whatever order
    const bool ok = engine->ExecuteFilesAdd(false);
    failingDirectory = 0;
    entriesBeforeFailing = 0;
    EXPECT_FALSE(ok);
    EXPECT_EQ(failed, std::vector<std::string>{(dir.path() / "src/unter").string()});
    std::vector<std::string> packed;
    for (const auto& item : engine->GetFileItemsList().Items()) packed.push_back(item.EntryName);
    EXPECT_EQ(Sorted(packed), (std::vector<std::string>{"src/", "src/a.txt", "src/unter/", "src/z.txt"}));
    EXPECT_EQ(Tool({"unzip", "-tq", (dir.path() / "a.zip").string()}).status, 0);
}

}  // namespace
}  // namespace archivtest
