// Fingerprints and seals of the archives we write: read by an independent check written from the
// documented format, by the four peers, and found broken after each way of changing an archive.
#include <openssl/sha.h>

#include "host/engine/pack/packed_check.h"
#include "host/services/sha256.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivVerifyMode;

std::string Script(const std::string& name) { return testsupport::TestDataDir() + "/fingerprint/" + name; }

class ZipFingerprint : public ::testing::Test {
protected:
    void SetUp() override {
        tree = SampleTree();
        // More than one piece of the pipeline: hashed in order across workers.
        tree["daten/gross.txt"] = TextRecords(400'000);
        WriteTree(dir.path() / "src", tree);
    }

    std::string Pack(const std::string& name = "ours.zip") {
        const std::string archive = (dir / name).string();
        auto engine = Engine(TArchivFormat::Zip, archive);
        engine->FileItemAdd((dir / "src" / "daten").string());
        EXPECT_TRUE(engine->ExecuteFilesAdd(false)) << engine->LastError();
        packed.clear();
        for (int i = 0; i < engine->GetFileItemsList().GetCount(); ++i)
            packed.push_back(engine->GetFileItemsList().GetItem(i));
        return archive;
    }

    std::unique_ptr<tavik::TArchivFormatAbstract> Verified(const std::string& archive, TArchivVerifyMode mode,
                                                           bool expectOk) {
        auto engine = Engine(TArchivFormat::Zip, archive);
        recorder.Attach(*engine);
        EXPECT_EQ(engine->ExecuteArchivVerify(mode), expectOk) << engine->LastError();
        return engine;
    }

    testsupport::TempDir dir;
    TTree tree;
    std::vector<tavik::TFileInfoItem> packed;
    TRecorder recorder;
};

TEST_F(ZipFingerprint, EveryEntryCarriesTheSha256OfItsContentAndTheCommentSealsThem) {
    const std::string archive = Pack();
    const auto check = Tool({"python3", Script("check_format.py"), archive});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("entries: 7"), std::string::npos) << check.out;  // 5 files, 2 directories

    // The items packed name the same digests as the archive, for the journal.
    for (const tavik::TFileInfoItem& item : packed) {
        if ((item.Attributes & tavik::faDirectory) != 0) continue;
        const std::string& content = tree.at(item.EntryName);
        unsigned char digest[SHA256_DIGEST_LENGTH];
        SHA256(reinterpret_cast<const unsigned char*>(content.data()), content.size(), digest);
        std::string hex;
        for (const unsigned char byte : digest) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
        EXPECT_EQ(item.Sha256 ? tavik::HexOf(*item.Sha256) : "", hex) << item.EntryName;
    }
    EXPECT_EQ(tavik::CheckPackedArchive(archive, packed), "");
    const tavik::TContentCheck content = tavik::CheckArchiveContent(archive);
    EXPECT_EQ(content.Failure, "");
    EXPECT_EQ(content.BySha256, 5);
    EXPECT_EQ(content.ByCrcOnly, 0);
    EXPECT_TRUE(content.Sealed);
    // Stopped by its progress callback: no verdict.
    const tavik::TContentCheck stopped =
        tavik::CheckArchiveContent(archive, [](std::int64_t, std::int64_t) { return false; });
    EXPECT_TRUE(stopped.Aborted);
    EXPECT_EQ(stopped.Failure, "");
}

TEST_F(ZipFingerprint, PeersReadFingerprintedArchivesAsBefore) {
    const std::string archive = Pack();
    const auto unzip = Tool({"unzip", "-t", archive});
    EXPECT_EQ(unzip.status, 0) << unzip.out << unzip.err;
    const auto sevenZip = Tool({"7zz", "t", archive});
    EXPECT_EQ(sevenZip.status, 0) << sevenZip.out << sevenZip.err;
    const auto bsdtar = Tool({"bsdtar", "-xf", archive, "-C", dir.str()});
    EXPECT_EQ(bsdtar.status, 0) << bsdtar.err;
    EXPECT_EQ(ReadTree(dir.path() / "daten"), [this] {
        TTree expected;
        for (const auto& [name, content] : tree) expected[name.substr(std::string("daten/").size())] = content;
        return expected;
    }());
    const auto python = Tool({"python3", "-c", "import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not None)",
                              archive});
    EXPECT_EQ(python.status, 0) << python.err;
}

TEST_F(ZipFingerprint, CompleteVerificationSaysHowTheContentWasConfirmed) {
    const std::string ours = Pack();
    auto engine = Verified(ours, TArchivVerifyMode::Complete, true);
    EXPECT_EQ(engine->LastVerifyCounts().BySha256, 5);
    EXPECT_EQ(engine->LastVerifyCounts().ByCrcOnly, 0);
    EXPECT_TRUE(engine->LastVerifyCounts().Sealed);
    EXPECT_EQ(engine->VerifySummary(),
              "5 Einträge durch SHA-256 bestätigt, 0 Einträge nur durch CRC-32. Das Siegel des Archivs ist intakt.");

    const std::string foreign = (dir / "fremd.zip").string();
    ASSERT_EQ(Tool({"zip", "-qr", foreign, "daten"}, (dir / "src").string()).status, 0);
    engine = Verified(foreign, TArchivVerifyMode::Complete, true);
    EXPECT_EQ(engine->VerifySummary(), "0 Einträge durch SHA-256 bestätigt, 5 Einträge nur durch CRC-32.");
}

// The re-verification takes the whole file's SHA-256 from the bytes it reads the entries from,
// however many readers share the work, and for a faulty archive too; an archive that cannot be
// read that far leaves it to the caller.
TEST_F(ZipFingerprint, TheWholeFilesDigestComesFromTheSameReading) {
    const std::string archive = Pack();
    std::int64_t size = 0;
    const std::string expected = tavik::Sha256OfFile(archive, &size);
    for (const unsigned readers : {1u, 2u, 4u}) {
        SCOPED_TRACE(readers);
        const tavik::TContentCheck content = tavik::CheckArchiveContent(archive, {}, readers, true);
        EXPECT_EQ(content.Failure, "");
        EXPECT_EQ(content.BySha256, 5);
        ASSERT_TRUE(content.FileSha256);
        EXPECT_EQ(tavik::HexOf(*content.FileSha256), expected);
        EXPECT_EQ(content.FileSize, size);
    }
    EXPECT_FALSE(tavik::CheckArchiveContent(archive).FileSha256);

    const auto changed = Tool({"python3", Script("tamper.py"), archive, "content", "daten/beleg.txt"});
    ASSERT_EQ(changed.status, 0) << changed.out << changed.err;
    const tavik::TContentCheck faulty = tavik::CheckArchiveContent(archive, {}, 0, true);
    EXPECT_NE(faulty.Failure.find("SHA-256-Fingerabdruck"), std::string::npos) << faulty.Failure;
    ASSERT_TRUE(faulty.FileSha256);
    EXPECT_EQ(tavik::HexOf(*faulty.FileSha256), tavik::Sha256OfFile(archive));
    EXPECT_NE(tavik::HexOf(*faulty.FileSha256), expected);

    fs::resize_file(archive, fs::file_size(archive) / 2);
    const tavik::TContentCheck cut = tavik::CheckArchiveContent(archive, {}, 0, true);
    EXPECT_NE(cut.Failure, "");
    EXPECT_FALSE(cut.FileSha256);
}

// Stored entries are handed on straight from the file's bytes, checked against their CRC-32.
TEST_F(ZipFingerprint, StoredEntriesAreCheckedAgainstTheirCrc) {
    const std::string foreign = (dir / "gespeichert.zip").string();
    ASSERT_EQ(Tool({"zip", "-qr0", foreign, "daten"}, (dir / "src").string()).status, 0);
    const tavik::TContentCheck sound = tavik::CheckArchiveContent(foreign, {}, 0, true);
    EXPECT_EQ(sound.Failure, "");
    EXPECT_EQ(sound.ByCrcOnly, 5);
    ASSERT_TRUE(sound.FileSha256);
    EXPECT_EQ(tavik::HexOf(*sound.FileSha256), tavik::Sha256OfFile(foreign));

    // A byte in the middle of the random entry's data.
    std::string bytes = testsupport::ReadFile(foreign);
    const std::string& random = tree.at("daten/zufall.bin");
    const std::size_t at = bytes.find(random.substr(30'000, 64));
    ASSERT_NE(at, std::string::npos);
    bytes[at] = static_cast<char>(bytes[at] ^ 0x40);
    testsupport::WriteFile(foreign, bytes);
    const tavik::TContentCheck faulty = tavik::CheckArchiveContent(foreign, {}, 0, true);
    EXPECT_NE(faulty.Failure.find("Prüfsummenfehler"), std::string::npos) << faulty.Failure;
}

// Each change is found, by the check that can find it, and named.
TEST_F(ZipFingerprint, ChangesAreFoundAndNamed) {
    struct TCase {
        const char* what;
        std::vector<std::string> change;  // run with the archive's path appended
        bool simpleOk;                    // the directory alone shows nothing wrong
        const char* named;                // in the failure's text
    };
    const std::vector<TCase> cases = {
        {"content changed, CRC fixed", {"python3", Script("tamper.py"), "@", "content", "daten/beleg.txt"}, true,
         "SHA-256-Fingerabdruck"},
        {"content and fingerprint changed", {"python3", Script("tamper.py"), "@", "refingerprint", "daten/beleg.txt"},
         false, "passen nicht zum Siegel"},
        {"entries reordered", {"python3", Script("tamper.py"), "@", "reorder"}, false, "umgestellt"},
        {"entry removed by zip -d", {"zip", "-q", "-d", "@", "daten/leer.dat"}, false, "Einträge wurden entfernt"},
        {"entry added by zip", {"zip", "-q", "-j", "@", (dir / "src/daten/beleg.txt").string()}, false,
         "hinzugefügt"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string archive = Pack();
        std::vector<std::string> argv = c.change;
        for (std::string& arg : argv)
            if (arg == "@") arg = archive;
        const auto changed = Tool(argv);
        ASSERT_EQ(changed.status, 0) << changed.out << changed.err;

        auto simple = Verified(archive, TArchivVerifyMode::Simple, c.simpleOk);
        auto complete = Verified(archive, TArchivVerifyMode::Complete, false);
        std::string reasons = complete->LastError();
        if (!c.simpleOk) reasons += simple->LastError();
        EXPECT_NE(reasons.find(c.named), std::string::npos) << reasons;
        // The read-back before deleting finds it too, and so does the re-verification.
        EXPECT_NE(tavik::CheckPackedArchive(archive, packed), "");
        const tavik::TContentCheck content = tavik::CheckArchiveContent(archive);
        EXPECT_NE(content.Failure.find(c.named), std::string::npos) << content.Failure;
        const auto independent = Tool({"python3", Script("check_format.py"), archive});
        EXPECT_NE(independent.status, 0) << independent.out;
    }
}

// The read-back before deleting holds the archive against what was packed into it: each way
// the two can differ is found and named, the archive changed or the list of what was packed.
TEST_F(ZipFingerprint, ReadBackNamesWhatDiffersFromWhatWasPacked) {
    using TItems = std::vector<tavik::TFileInfoItem>;
    const auto file = [](TItems& items, const std::string& name) -> tavik::TFileInfoItem& {
        return *std::find_if(items.begin(), items.end(), [&name](const auto& item) { return item.EntryName == name; });
    };
    struct TCase {
        const char* what;
        std::vector<std::string> change;  // run on the archive (@), if any
        std::function<void(TItems&)> packedChange;
        const char* named;  // in the failure's text; empty: sound
    };
    const std::vector<TCase> cases = {
        {"sound", {}, {}, ""},
        {"size differs", {}, [&](TItems& items) { file(items, "daten/beleg.txt").Size += 1; }, "Größe der Datei"},
        {"CRC differs", {}, [&](TItems& items) { file(items, "daten/beleg.txt").Crc ^= 1; }, "(Prüfsumme)"},
        {"fingerprint differs", {}, [&](TItems& items) { (*file(items, "daten/gross.txt").Sha256)[3] ^= 1; },
         "Fingerabdruck der Datei"},
        {"one item more", {}, [](TItems& items) { items.push_back(items.front()); }, "Einträge statt"},
        {"item under another name", {},
         [&](TItems& items) { file(items, "daten/beleg.txt").EntryName = "daten/Beleg.txt"; }, "„daten/Beleg.txt“ fehlt"},
        {"directory packed as file", {},
         [](TItems& items) {
             const auto found = std::find_if(items.begin(), items.end(),
                                             [](const auto& item) { return (item.Attributes & tavik::faDirectory) == 0; });
             found->Attributes |= tavik::faDirectory;
         },
         "kein Verzeichnis"},
        {"content changed, CRC fixed", {"python3", Script("tamper.py"), "@", "content", "daten/beleg.txt"}, {},
         "(Prüfsumme)"},
        {"entries reordered", {"python3", Script("tamper.py"), "@", "reorder"}, {}, "umgestellt"},
        {"entry removed by zip -d", {"zip", "-q", "-d", "@", "daten/leer.dat"}, {}, "Einträge wurden entfernt"},
        {"cut short", {"truncate", "-s", "-200", "@"}, {}, "beschädigt"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string archive = Pack();
        if (!c.change.empty()) {
            std::vector<std::string> argv = c.change;
            for (std::string& arg : argv)
                if (arg == "@") arg = archive;
            const auto changed = Tool(argv);
            ASSERT_EQ(changed.status, 0) << changed.out << changed.err;
        }
        TItems items = packed;
        if (c.packedChange) c.packedChange(items);
        for (const unsigned readers : {1u, 3u}) {
            // The journal's digest of a sound archive comes from the same reading; none for a faulty one.
            std::optional<tavik::TFileDigest> digest;
            const std::string failure = tavik::CheckPackedArchive(archive, items, readers, &digest);
            if (std::string(c.named).empty()) {
                EXPECT_EQ(failure, "");
                std::int64_t size = 0;
                const std::string expected = tavik::Sha256OfFile(archive, &size);
                ASSERT_TRUE(digest);
                EXPECT_EQ(tavik::HexOf(digest->Sha256), expected);
                EXPECT_EQ(digest->Size, size);
            } else {
                EXPECT_NE(failure.find(c.named), std::string::npos) << failure;
                EXPECT_FALSE(digest);
            }
        }
    }
}

// A byte changed in an entry's data is found by inflating it, whichever reader takes it.
TEST_F(ZipFingerprint, ReadBackFindsAChangedByteInAnyEntry) {
    const std::string archive = Pack();
    const std::string sound = testsupport::ReadFile(archive);
    for (const std::size_t at : {sound.size() / 4, sound.size() / 3, sound.size() / 2}) {
        std::string bytes = sound;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
        testsupport::WriteFile(archive, bytes);
        EXPECT_NE(tavik::CheckPackedArchive(archive, packed), "") << at;
    }
}

// Extraction hashes what it writes: a changed entry (its CRC made to fit) is not put in place,
// and the other entries are.
TEST_F(ZipFingerprint, ExtractionRefusesAnEntryThatNoLongerFitsItsFingerprint) {
    const std::string archive = Pack();
    const auto changed = Tool({"python3", Script("tamper.py"), archive, "content", "daten/beleg.txt"});
    ASSERT_EQ(changed.status, 0) << changed.out << changed.err;
    auto engine = Engine(TArchivFormat::Zip, archive);
    engine->ExtractDir = (dir / "aus").string();
    std::vector<std::string> failed;
    engine->OnError = [&failed](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind,
                                const std::string& item, const std::string& reason, bool& skip) {
        failed.push_back(item + ": " + reason);
        skip = true;
    };
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_NE(failed[0].find("daten/beleg.txt: "), std::string::npos) << failed[0];
    EXPECT_NE(failed[0].find("SHA-256-Fingerabdruck"), std::string::npos) << failed[0];
    EXPECT_EQ(engine->LastErrorKind(), tavik::TErrorKind::DamagedArchive);
    EXPECT_FALSE(fs::exists(dir.path() / "aus/daten/beleg.txt"));
    EXPECT_EQ(engine->LastExtractCounts().Written, 4);
    // Nothing else of the failed entry stays behind, no temporary file either.
    for (const auto& item : fs::recursive_directory_iterator(dir.path() / "aus"))
        EXPECT_EQ(item.path().filename().string().find("beleg.txt"), std::string::npos) << item.path();
}

TEST_F(ZipFingerprint, AddingKeepsTheFingerprintsAndSealsAnew) {
    const std::string archive = Pack();
    testsupport::WriteFile(dir / "neu.txt", "Nachtrag\n");
    auto engine = Engine(TArchivFormat::Zip, archive);
    engine->FileItemAdd((dir / "neu.txt").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(true)) << engine->LastError();
    const auto check = Tool({"python3", Script("check_format.py"), archive});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("entries: 8"), std::string::npos) << check.out;

    // A comment of the archive's own stays; such an archive carries fingerprints but no seal.
    const std::string foreign = (dir / "fremd.zip").string();
    ASSERT_EQ(Tool({"zip", "-qr", foreign, "daten"}, (dir / "src").string()).status, 0);
    ASSERT_EQ(Tool({"zip", "-qz", foreign}, {}, "Belege 2026\n").status, 0);
    engine = Engine(TArchivFormat::Zip, foreign);
    engine->FileItemAdd((dir / "neu.txt").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(true)) << engine->LastError();
    const auto comment = Tool({"unzip", "-z", foreign});
    EXPECT_NE(comment.out.find("Belege 2026"), std::string::npos) << comment.out;
    auto verified = Verified(foreign, TArchivVerifyMode::Complete, true);
    EXPECT_EQ(verified->LastVerifyCounts().BySha256, 1);
    EXPECT_EQ(verified->LastVerifyCounts().ByCrcOnly, 5);
    EXPECT_FALSE(verified->LastVerifyCounts().Sealed);
}

// The fingerprints are filled in a stretch of the file at a time: thousands of small entries
// share one, a large entry between them makes the next start elsewhere, and the entries taken
// over from before lie ahead of the new ones.
TEST_F(ZipFingerprint, ManySmallEntriesBetweenLargeOnesAllGetTheirFingerprint) {
    TTree many;
    for (int i = 0; i < 2500; ++i) {
        const std::string folder = "viele/" + std::to_string(i / 500) + "/";
        many[folder + "klein" + std::to_string(i) + ".txt"] = "Beleg " + std::to_string(i) + "\n";
        if (i % 700 == 0) many[folder + "gross" + std::to_string(i) + ".bin"] = Incompressible(150'000, i);
    }
    WriteTree(dir.path() / "src", many);
    const std::string archive = Pack();
    auto engine = Engine(TArchivFormat::Zip, archive);
    engine->FileItemAdd((dir / "src" / "viele").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(true)) << engine->LastError();

    const auto check = Tool({"python3", Script("check_format.py"), archive});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    const tavik::TContentCheck content = tavik::CheckArchiveContent(archive);
    EXPECT_EQ(content.Failure, "");
    EXPECT_EQ(content.BySha256, static_cast<int>(tree.size() + many.size()));
    EXPECT_EQ(content.ByCrcOnly, 0);
    EXPECT_TRUE(content.Sealed);
}

TEST_F(ZipFingerprint, TheJournalsHeadStandsInTheSeal) {
    const std::string archive = (dir / "journal.zip").string();
    auto engine = Engine(TArchivFormat::Zip, archive);
    engine->JournalHead = std::string(60, 'a') + "0f9E";
    engine->FileItemAdd((dir / "src/daten/beleg.txt").string());
    ASSERT_TRUE(engine->ExecuteFilesAdd(false)) << engine->LastError();
    const auto comment = Tool({"unzip", "-z", archive});
    EXPECT_NE(comment.out.find("journal=" + std::string(60, 'a') + "0f9e"), std::string::npos) << comment.out;

    engine->JournalHead = "kein Kopf";
    EXPECT_FALSE(engine->ExecuteFilesAdd(false));
}

}  // namespace
}  // namespace archivtest
