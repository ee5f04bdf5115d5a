// Which files of ARCHIV count as the archive run's own archives: by name (archive_name_test)
// and by a ZIP end.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "task/own_archive.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace vendrask {
namespace {

namespace fs = std::filesystem;
using testsupport::RunProcess;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string Zip(const TempDir& dir, const std::string& name, const std::vector<std::string>& options = {}) {
    WriteFile(dir / "in/beleg.dat", std::string(5000, 'b'));
    const std::string archive = (dir / name).string();
    std::vector<std::string> argv{"zip", "-qj"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(archive);
    argv.push_back((dir / "in/beleg.dat").string());
    EXPECT_EQ(RunProcess(argv).status, 0);
    return archive;
}

TEST(OwnArchive, AZipOpensAlsoWithZip64RecordsOrAComment) {
    TempDir dir;
    EXPECT_TRUE(OpensAsZipArchive(Zip(dir, "plain.zip")));
    EXPECT_TRUE(OpensAsZipArchive(Zip(dir, "zip64.zip", {"-fz"})));
    const std::string commented = Zip(dir, "comment.zip");
    ASSERT_EQ(RunProcess({"zip", "-qz", commented}, {{}, {}, "", "Archiv von damals\n.\n"}).status, 0);
    EXPECT_TRUE(OpensAsZipArchive(commented));
    // An empty archive is its end record alone.
    WriteFile(dir / "leer.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    EXPECT_TRUE(OpensAsZipArchive((dir / "leer.zip").string()));
}

TEST(OwnArchive, WhatIsNoWholeZipDoesNotOpen) {
    TempDir dir;
    const std::string cut = Zip(dir, "cut.zip");
    fs::resize_file(cut, fs::file_size(cut) - 10);
    EXPECT_FALSE(OpensAsZipArchive(cut));
    // A tail that only looks like an end record: its directory lies beyond the file.
    WriteFile(dir / "text.txt", std::string("Notiz ") + std::string("PK\x05\x06", 4) + std::string(8, '\0') +
                                    std::string("\x10\x00\x00\x00\xff\xff\x00\x00\x00\x00", 10));
    EXPECT_FALSE(OpensAsZipArchive((dir / "text.txt").string()));
    // A directory that claims entries where no central header stands.
    WriteFile(dir / "fake.zip", std::string(40, 'x') + std::string("PK\x05\x06", 4) + std::string(4, '\0') +
                                    std::string("\x01\x00\x01\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00", 14));
    EXPECT_FALSE(OpensAsZipArchive((dir / "fake.zip").string()));
    WriteFile(dir / "empty", "");
    EXPECT_FALSE(OpensAsZipArchive((dir / "empty").string()));
    EXPECT_FALSE(OpensAsZipArchive((dir / "fehlt").string()));
    // Neither a link to an archive nor a pipe (which would block a reader) is opened as one.
    const std::string real = Zip(dir, "real.zip");
    fs::create_symlink(real, dir / "link.zip");
    EXPECT_FALSE(OpensAsZipArchive((dir / "link.zip").string()));
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(OpensAsZipArchive((dir / "pipe").string()));
}

TEST(OwnArchive, OnlyInArchivsTopLevel) {
    TempDir dir;
    fs::create_directories(dir / "ARCHIV/alt");
    Zip(dir, "ARCHIV/SK261207.001");
    Zip(dir, "ARCHIV/alt/SK261207.001");
    const std::string archiv = (dir / "ARCHIV").string();
    EXPECT_TRUE(IsOwnArchive(archiv, archiv, "SK261207.001"));
    EXPECT_FALSE(IsOwnArchive(archiv + "/alt", archiv, "SK261207.001"));
}

}  // namespace
}  // namespace vendrask
