// An archive is read through the descriptors it was checked on: a file put in its place by
// rename while a command runs changes nothing the command reads, and a volume of a split set
// that is replaced is refused instead of being read.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;

class ZipSwap : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTree(dir / "erst", {{"daten/a.bin", Incompressible(150'000, 1)}, {"daten/b.txt", TextRecords(3000)}});
        WriteTree(dir / "zweit", {{"daten/a.bin", Incompressible(150'000, 2)}, {"daten/b.txt", TextRecords(2999)}});
        for (const char* name : {"erst", "zweit"}) {
            const auto zip = Tool({"zip", "-qr", (dir / (std::string(name) + ".zip")).string(), "daten"},
                                  (dir / name).string());
            ASSERT_EQ(zip.status, 0) << zip.err;
        }
    }

    // Extracts archive to out; before the first entry is read, replace() runs once.
    bool ExtractReplacingOnce(const std::string& archive, const fs::path& out, const std::function<void()>& replace,
                              std::vector<std::string>& failures) {
        auto engine = Engine(TArchivFormat::Zip, archive);
        bool replaced = false;
        engine->OnCommandItemStart = [&](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::PFileInfoItem&) {
            if (!replaced) replace();
            replaced = true;
            return true;
        };
        engine->OnError = [&](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind,
                              const std::string& item, const std::string& text, bool& flag) {
            failures.push_back(item + ": " + text);
            flag = true;
        };
        engine->ExtractDir = out.string();
        const bool done = engine->ExecuteArchivExtract();
        EXPECT_TRUE(replaced);
        return done;
    }

    testsupport::TempDir dir;
};

TEST_F(ZipSwap, AnArchiveReplacedWhileItIsExtractedIsReadAsItWasChecked) {
    const std::string archive = (dir / "erst.zip").string();
    std::vector<std::string> failures;
    const bool done = ExtractReplacingOnce(
        archive, dir / "aus", [&] { fs::rename(dir / "zweit.zip", archive); }, failures);
    EXPECT_TRUE(done) << (failures.empty() ? "" : failures.front());
    EXPECT_TRUE(failures.empty());
    TTree first;
    first["daten/a.bin"] = Incompressible(150'000, 1);
    first["daten/b.txt"] = TextRecords(3000);
    EXPECT_EQ(ReadTree(dir / "aus"), first);
}

TEST_F(ZipSwap, AVolumeReplacedWhileASetIsExtractedIsRefused) {
    for (const char* name : {"erst", "zweit"}) {
        fs::create_directories(dir / (std::string(name) + "-teile"));
        auto engine = Engine(TArchivFormat::Zip, (dir / (std::string(name) + ".zip")).string());
        ASSERT_TRUE(engine->Span((dir / (std::string(name) + ".zip")).string(),
                                 (dir / (std::string(name) + "-teile")).string(), 65536))
            << engine->LastError();
    }
    // The same bytes under another inode: only the identity tells the files apart.
    const fs::path volume = dir / "erst-teile" / "erst.z01";
    fs::copy_file(volume, dir / "kopie.z01");
    std::vector<std::string> failures;
    const bool done = ExtractReplacingOnce(
        (dir / "erst-teile" / "erst.zip").string(), dir / "aus", [&] { fs::rename(dir / "kopie.z01", volume); },
        failures);
    EXPECT_FALSE(done);
    ASSERT_FALSE(failures.empty());
    EXPECT_FALSE(fs::exists(dir / "aus" / "daten" / "a.bin"));
}

}  // namespace
}  // namespace archivtest
