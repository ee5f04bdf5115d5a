// Writing ZIP archives: anew and adding, what the engine records as packed, and that an
// abort or a failure leaves the archive that was there exactly as it was.
#include <sys/stat.h>

#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;

class ZipWrite : public ::testing::Test {
protected:
    void SetUp() override { WriteTree(dir.path() / "src", SampleTree()); }

    std::unique_ptr<tavik::TArchivFormatAbstract> Packer(const std::string& archive) {
        auto engine = Engine(TArchivFormat::Zip, archive);
        recorder.Attach(*engine);
        return engine;
    }

    std::vector<std::string> Names(const std::string& archive) {
        auto engine = Engine(TArchivFormat::Zip, archive);
        EXPECT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
        return EntryNames(*engine);
    }

    std::vector<std::string> DirectoryListing() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
        return Sorted(names);
    }

    testsupport::TempDir dir;
    TRecorder recorder;
};

TEST_F(ZipWrite, DirectoryIsPackedRelativeToItsParent) {
    const std::string archive = (dir / "a.zip").string();
    auto engine = Packer(archive);
    engine->FileItemAdd((dir / "src/daten").string() + "/");
    ASSERT_TRUE(engine->ExecuteFilesAdd(false)) << engine->LastError();
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"daten/", "daten/beleg.txt", "daten/leer.dat",
                                                        "daten/unter/", "daten/unter/grüße.txt",
                                                        "daten/zufall.bin"}));
    EXPECT_EQ(recorder.ends, 1);
    EXPECT_EQ(recorder.lastDone, recorder.lastTotal);
    EXPECT_GT(recorder.lastTotal, 70'000);
}

TEST_F(ZipWrite, PackedListHoldsFilesWithSizeAndTimeThenDirectoriesInnermostFirst) {
    testsupport::SetMTime(dir / "src/daten/beleg.txt", 1'500'000'000);
    auto engine = Packer((dir / "a.zip").string());
    engine->FileItemAdd((dir / "src/daten").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(false));
    const tavik::TFileItemsList& packed = engine->GetFileItemsList();
    ASSERT_EQ(packed.GetCount(), 6);
    bool seenDirectory = false;
    for (int i = 0; i < packed.GetCount(); ++i) {
        const tavik::TFileInfoItem& item = packed.GetItem(i);
        const bool directory = (item.Attributes & tavik::faDirectory) != 0;
        EXPECT_FALSE(seenDirectory && !directory) << "file after a directory: " << item.FileName;
        seenDirectory = seenDirectory || directory;
        if (item.FileName == "beleg.txt") {
            EXPECT_EQ(item.Size, static_cast<std::int64_t>(TextRecords(3000).size()));
            EXPECT_EQ(item.DateTime, tavik::FileTimeToDateTime(1'500'000'000));
            EXPECT_EQ(fs::path(item.AbsDir), dir.path() / "src/daten");
        }
    }
    EXPECT_EQ(packed.GetItem(4).FileName, "unter");
    EXPECT_EQ(packed.GetItem(5).FileName, "daten");
}

TEST_F(ZipWrite, QueuedItemBecomesRelDirSlashFileName) {
    const std::string archive = (dir / "SK261207.001").string();
    auto engine = Packer(archive);
    tavik::TFileInfoItem item;
    item.FileName = "beleg.txt";
    item.AbsDir = (dir / "src/daten").string();
    item.RelDir = "stadata/m01";
    engine->FileItemAdd(item);
    ASSERT_TRUE(engine->ExecuteFilesAdd(false)) << engine->LastError();
    EXPECT_EQ(Names(archive), std::vector<std::string>{"stadata/m01/beleg.txt"});
    ASSERT_EQ(engine->GetFileItemsList().GetCount(), 1);
    EXPECT_EQ(engine->GetFileItemsList().GetItem(0).RelDir, "stadata/m01");
}

TEST_F(ZipWrite, AddKeepsEntriesReplacesSameNameAndCopiesRaw) {
    const std::string archive = (dir / "a.zip").string();
    {
        const auto zip = Tool({"zip", "-q0r", archive, "daten"}, (dir / "src").string());  // stored entries
        ASSERT_EQ(zip.status, 0) << zip.err;
    }
    testsupport::WriteFile(dir / "neu/daten/beleg.txt", "ersetzt\n");
    testsupport::WriteFile(dir / "neu/extra.txt", "neu\n");
    auto engine = Packer(archive);
    engine->FileItemAdd((dir / "neu/daten").string());
    engine->FileItemAdd((dir / "neu/extra.txt").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(true)) << engine->LastError();
    EXPECT_EQ(Tool({"unzip", "-t", archive}).status, 0);
    Python(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    names = z.namelist()
    assert len(names) == len(set(names)), names
    assert z.read('daten/beleg.txt') == b'ersetzt\n'
    assert z.read('extra.txt') == b'neu\n'
    kept = z.getinfo('daten/zufall.bin')
    assert kept.compress_type == zipfile.ZIP_STORED, kept.compress_type  # copied, not packed again
    assert z.read('daten/unter/grüße.txt') == 'Grüße aus Köln\n'.encode()
)",
           {archive});
    EXPECT_EQ(engine->GetFileItemsList().GetCount(), 3);  // daten/beleg.txt, extra.txt, daten/
}

TEST_F(ZipWrite, AddCopiesTheStoredBytesOfEveryMethodUnchanged) {
    const std::string archive = (dir / "a.zip").string();
    Python(R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr('deflated.txt', b'Zeile mit Text\n' * 5000, zipfile.ZIP_DEFLATED, 9)
    z.writestr('bzip2.txt', b'andere Zeile\n' * 5000, zipfile.ZIP_BZIP2)
    z.writestr('stored.bin', bytes(range(256)) * 40, zipfile.ZIP_STORED)
)",
           {archive});
    const std::string rawBefore = (dir / "vorher.txt").string();
    const std::string rawAfter = (dir / "nachher.txt").string();
    const char* const dumpRaw = R"(
import struct, sys, zipfile
out = []
with open(sys.argv[1], 'rb') as f, zipfile.ZipFile(sys.argv[1]) as z:
    for info in sorted(z.infolist(), key=lambda i: i.filename):
        if info.filename == 'neu.txt':
            continue
        f.seek(info.header_offset)
        header = f.read(30)
        name_length, extra_length = struct.unpack('<HH', header[26:30])
        f.seek(info.header_offset + 30 + name_length + extra_length)
        out.append('%s %d %08x %s' % (info.filename, info.compress_type, info.CRC, f.read(info.compress_size).hex()))
open(sys.argv[2], 'w').write('\n'.join(out))
)";
    Python(dumpRaw, {archive, rawBefore});
    testsupport::WriteFile(dir / "neu.txt", "neu\n");
    auto engine = Packer(archive);
    engine->FileItemAdd((dir / "neu.txt").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(true)) << engine->LastError();
    EXPECT_EQ(Tool({"unzip", "-t", archive}).status, 0);
    Python(dumpRaw, {archive, rawAfter});
    EXPECT_EQ(testsupport::ReadFile(rawAfter), testsupport::ReadFile(rawBefore));
    EXPECT_EQ(Names(archive), (std::vector<std::string>{"bzip2.txt", "deflated.txt", "neu.txt", "stored.bin"}));
}

TEST_F(ZipWrite, CopyingTheEntriesThatAreThereReportsProgressAndNamesEachEntry) {
    const std::string archive = (dir / "a.zip").string();
    testsupport::WriteFile(dir / "alt/gross1.bin", Incompressible(1'500'000, 5));
    testsupport::WriteFile(dir / "alt/gross2.bin", Incompressible(1'500'000, 6));
    {
        auto first = Packer(archive);
        first->FileItemAdd((dir / "alt").string());
        ASSERT_TRUE(first->ExecuteFilesAdd(false)) << first->LastError();
    }
    testsupport::WriteFile(dir / "klein.txt", "klein\n");
    auto engine = Packer(archive);
    std::vector<std::int64_t> totals;
    std::vector<std::string> items;
    engine->OnCommandProgress = [&totals](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, std::int64_t done,
                                          std::int64_t total) {
        EXPECT_LE(done, total);
        totals.push_back(done);
    };
    engine->OnCommandItemProgress = [&items](tavik::TArchivFormatAbstract&, tavik::TArchivCommand,
                                             tavik::PFileInfoItem item, std::int64_t done, std::int64_t total) {
        EXPECT_LE(done, total);
        if (item && (items.empty() || items.back() != item->FileName)) items.push_back(item->FileName);
    };
    engine->FileItemAdd((dir / "klein.txt").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(true)) << engine->LastError();
    // Both kept entries are copied in steps while the window hears of it: several reports below
    // the three million stored bytes, each entry named, then the new file.
    const auto whileCopying =
        std::count_if(totals.begin(), totals.end(), [](std::int64_t done) { return done > 0 && done < 3'000'000; });
    EXPECT_GE(whileCopying, 8);
    EXPECT_TRUE(std::is_sorted(totals.begin(), totals.end()));
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(Sorted({items[0], items[1]}), (std::vector<std::string>{"alt/gross1.bin", "alt/gross2.bin"}));
    EXPECT_EQ(items[2], "klein.txt");
}

TEST_F(ZipWrite, AbortWhileCopyingTheEntriesThatAreThereLeavesTheArchiveAsItWas) {
    const std::string archive = (dir / "a.zip").string();
    testsupport::WriteFile(dir / "alt/gross.bin", Incompressible(3'000'000, 8));
    {
        auto first = Packer(archive);
        first->FileItemAdd((dir / "alt/gross.bin").string());
        ASSERT_TRUE(first->ExecuteFilesAdd(false)) << first->LastError();
    }
    const std::string before = testsupport::ReadFile(archive);
    testsupport::WriteFile(dir / "klein.txt", "klein\n");
    auto engine = Packer(archive);
    std::int64_t abortedAt = -1;
    engine->OnCommandItemProgress = [&abortedAt](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand,
                                                 tavik::PFileInfoItem item, std::int64_t done, std::int64_t) {
        // Still within the copy of the kept entry.
        if (abortedAt < 0 && item && item->FileName == "gross.bin" && done > 500'000) {
            abortedAt = done;
            sender.Abort();
        }
    };
    engine->FileItemAdd((dir / "klein.txt").string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(true));
    EXPECT_GT(abortedAt, 0);
    EXPECT_EQ(engine->LastErrorKind(), tavik::TErrorKind::Aborted) << engine->LastError();
    EXPECT_EQ(testsupport::ReadFile(archive), before);
    EXPECT_EQ(DirectoryListing(), (std::vector<std::string>{"a.zip", "alt", "klein.txt", "src"}));
}

TEST_F(ZipWrite, AddToMissingArchiveCreatesIt) {
    const std::string archive = (dir / "neu.zip").string();
    auto engine = Packer(archive);
    engine->FileItemAdd((dir / "src/daten/beleg.txt").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(true)) << engine->LastError();
    EXPECT_EQ(Names(archive), std::vector<std::string>{"beleg.txt"});
}

TEST_F(ZipWrite, EmptyItemListWritesNothing) {
    const std::string archive = (dir / "leer.zip").string();
    auto engine = Packer(archive);
    EXPECT_TRUE(engine->ExecuteFilesAdd(false));
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_EQ(engine->GetFileItemsList().GetCount(), 0);
    EXPECT_EQ(recorder.ends, 1);
}

TEST_F(ZipWrite, SymbolicLinksAreNeverFollowed) {
    testsupport::WriteFile(dir / "geheim/passwort.txt", "geheim");
    fs::create_directory_symlink(dir / "geheim", dir / "src/daten/verweis");
    fs::create_symlink(dir / "geheim/passwort.txt", dir / "src/daten/datei-verweis");
    const std::string archive = (dir / "a.zip").string();
    auto engine = Packer(archive);
    engine->FileItemAdd((dir / "src/daten").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(false)) << engine->LastError();
    for (const std::string& name : Names(archive)) EXPECT_EQ(name.find("verweis"), std::string::npos) << name;
}

TEST_F(ZipWrite, MissingFileIsReportedAndSkippedWhenTheHandlerSaysSo) {
    const std::string archive = (dir / "a.zip").string();
    auto engine = Packer(archive);
    engine->FileItemAdd((dir / "src/daten/beleg.txt").string());
    engine->FileItemAdd((dir / "src/gibtsnicht.txt").string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(false));
    EXPECT_FALSE(engine->LastError().empty());
    ASSERT_EQ(recorder.errorKinds.size(), 1u);
    EXPECT_EQ(recorder.errorKinds[0], tavik::TArchivErrorKind::Item);
    EXPECT_EQ(Names(archive), std::vector<std::string>{"beleg.txt"});
    EXPECT_EQ(engine->GetFileItemsList().GetCount(), 1);
}

TEST_F(ZipWrite, MissingFileStopsWhenTheHandlerDoesNotSkip) {
    const std::string archive = (dir / "a.zip").string();
    recorder.skipItems = false;
    auto engine = Packer(archive);
    engine->FileItemAdd((dir / "src/gibtsnicht.txt").string());
    engine->FileItemAdd((dir / "src/daten/beleg.txt").string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(false));
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_EQ(engine->GetFileItemsList().GetCount(), 0);
    EXPECT_EQ(recorder.ends, 1);
}

TEST_F(ZipWrite, FileUnreadableWhileWritingIsSkippedAndTheArchiveWrittenWithoutIt) {
    if (::geteuid() == 0) {
        // root reads every file; make the file vanish at the right moment instead
        const std::string archive = (dir / "a.zip").string();
        auto engine = Packer(archive);
        engine->OnCommandItemStart = [this](tavik::TArchivFormatAbstract&, tavik::TArchivCommand,
                                            tavik::PFileInfoItem& item) {
            if (item->FileName == "zufall.bin") fs::remove(dir / "src/daten/zufall.bin");
            return true;
        };
        engine->FileItemAdd((dir / "src/daten").string());
        EXPECT_FALSE(engine->ExecuteFilesAdd(false));
        const std::vector<std::string> names = Names(archive);
        EXPECT_EQ(std::count(names.begin(), names.end(), "daten/zufall.bin"), 0);
        EXPECT_EQ(std::count(names.begin(), names.end(), "daten/beleg.txt"), 1);
        EXPECT_EQ(Tool({"unzip", "-t", archive}).status, 0);
        return;
    }
    ::chmod((dir / "src/daten/zufall.bin").c_str(), 0);
    const std::string archive = (dir / "a.zip").string();
    auto engine = Packer(archive);
    engine->FileItemAdd((dir / "src/daten").string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(false));
    const std::vector<std::string> names = Names(archive);
    EXPECT_EQ(std::count(names.begin(), names.end(), "daten/zufall.bin"), 0);
}

TEST_F(ZipWrite, AbortLeavesTheOldArchiveByteForByteAndNoTemporaryFile) {
    const std::string archive = (dir / "a.zip").string();
    {
        auto first = Packer(archive);
        first->FileItemAdd((dir / "src/daten/beleg.txt").string());
        ASSERT_TRUE(first->ExecuteFilesAdd(false));
    }
    const std::string before = testsupport::ReadFile(archive);
    testsupport::WriteFile(dir / "gross.bin", Incompressible(3'000'000, 3));
    for (const bool add : {false, true}) {
        auto engine = Packer(archive);
        engine->OnCommandProgress = [](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand, std::int64_t done,
                                       std::int64_t) {
            if (done > 1'000'000) sender.Abort();
        };
        engine->FileItemAdd((dir / "gross.bin").string());
        engine->FileItemAdd((dir / "src/daten").string());
        EXPECT_FALSE(engine->ExecuteFilesAdd(add));
        EXPECT_NE(engine->LastError().find("abgebrochen"), std::string::npos) << engine->LastError();
        EXPECT_FALSE(engine->Busy());
        EXPECT_EQ(engine->GetFileItemsList().GetCount(), 0);
        EXPECT_EQ(testsupport::ReadFile(archive), before);
        EXPECT_EQ(DirectoryListing(), (std::vector<std::string>{"a.zip", "gross.bin", "src"}));
    }
}

TEST_F(ZipWrite, AbortOfANewArchiveLeavesNoFile) {
    testsupport::WriteFile(dir / "gross.bin", Incompressible(2'000'000, 4));
    auto engine = Packer((dir / "neu.zip").string());
    engine->OnCommandItemProgress = [](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand,
                                       tavik::PFileInfoItem, std::int64_t done, std::int64_t) {
        if (done > 500'000) sender.Abort();
    };
    engine->FileItemAdd((dir / "gross.bin").string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(false));
    EXPECT_EQ(recorder.ends, 1);
    EXPECT_EQ(DirectoryListing(), (std::vector<std::string>{"gross.bin", "src"}));
}

TEST_F(ZipWrite, ArchiveInsideThePackedDirectoryIsNotPackedIntoItself) {
    const std::string archive = (dir / "src/daten/selbst.zip").string();
    auto engine = Packer(archive);
    engine->FileItemAdd((dir / "src/daten").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(false));
    engine->FileItemClear();
    engine->FileItemAdd((dir / "src/daten").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(true)) << engine->LastError();
    const std::vector<std::string> names = Names(archive);
    EXPECT_EQ(std::count(names.begin(), names.end(), "daten/selbst.zip"), 0);
}

TEST_F(ZipWrite, AddingToANonArchiveFailsAndLeavesTheFile) {
    const std::string file = (dir / "text.zip").string();
    testsupport::WriteFile(file, "kein Archiv\n");
    auto engine = Packer(file);
    engine->FileItemAdd((dir / "src/daten/beleg.txt").string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(true));
    EXPECT_FALSE(engine->LastError().empty());
    EXPECT_EQ(testsupport::ReadFile(file), "kein Archiv\n");
}

TEST_F(ZipWrite, SplitSetIsNotChanged) {
    const std::string archive = (dir / "teil.zip").string();
    const auto zip = Tool({"zip", "-qr", "-s", "64k", archive, "daten"}, (dir / "src").string());
    ASSERT_EQ(zip.status, 0) << zip.err;
    ASSERT_TRUE(fs::exists(dir / "teil.z01"));
    const std::string before = testsupport::ReadFile(archive);
    auto engine = Packer(archive);
    engine->FileItemAdd((dir / "src/daten/beleg.txt").string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(true));
    EXPECT_NE(engine->LastError().find("aufgeteilt"), std::string::npos) << engine->LastError();
    EXPECT_EQ(testsupport::ReadFile(archive), before);
}

TEST_F(ZipWrite, ItemStartFalseSkipsTheItem) {
    const std::string archive = (dir / "a.zip").string();
    auto engine = Packer(archive);
    engine->OnCommandItemStart = [](tavik::TArchivFormatAbstract&, tavik::TArchivCommand,
                                    tavik::PFileInfoItem& item) { return item->FileName != "zufall.bin"; };
    engine->FileItemAdd((dir / "src/daten").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(false));
    const std::vector<std::string> names = Names(archive);
    EXPECT_EQ(std::count(names.begin(), names.end(), "daten/zufall.bin"), 0);
    EXPECT_EQ(engine->GetFileItemsList().GetCount(), 5);
}

}  // namespace
}  // namespace archivtest
