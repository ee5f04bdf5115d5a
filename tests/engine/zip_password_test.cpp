// Encrypted ZIP entries (Info-ZIP's traditional encryption, 7-Zip's AES): read with the right
// password, an item error with a wrong one and nothing written, refused as encrypted without.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivFormatAbstract;
using tavik::TArchivVerifyMode;

class ZipPassword : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTree(dir / "src", Files());
        testsupport::WriteFile(dir / "richtig", "geheim\n");
        testsupport::WriteFile(dir / "falsch", "offen\n");
    }

    static TTree Files() {
        // A short file too: AES of the second kind writes no CRC, libzip knows it only below 20 bytes.
        return {{"beleg.txt", TextRecords(5000)}, {"zufall.bin", Incompressible(40'000, 9)}, {"kurz.txt", "kurz"}};
    }

    std::string InfoZip() {
        const std::string archive = (dir / "pkware.zip").string();
        const auto made = Tool({"zip", "-q", "-P", "geheim", archive, "beleg.txt", "zufall.bin", "kurz.txt"},
                               (dir / "src").string());
        EXPECT_EQ(made.status, 0) << made.err;
        return archive;
    }

    std::string SevenZipAes(const std::string& name, const std::string& method, const std::string& aes = "AES256") {
        const std::string archive = (dir / name).string();
        const auto made = Tool({"7zz", "a", "-tzip", "-bso0", "-pgeheim", "-mem=" + aes, "-mm=" + method, archive,
                                "beleg.txt", "zufall.bin", "kurz.txt"},
                               (dir / "src").string());
        EXPECT_EQ(made.status, 0) << made.err;
        return archive;
    }

    std::vector<std::string> Archives() {
        return {InfoZip(), SevenZipAes("aes.zip", "Deflate"), SevenZipAes("aes-copy.zip", "Copy"),
                SevenZipAes("aes-lzma.zip", "LZMA"), SevenZipAes("aes-ppmd.zip", "PPMd")};
    }

    testsupport::TempDir dir;
};

TEST_F(ZipPassword, TheRightPasswordListsChecksAndExtractsTheExactBytes) {
    for (const std::string& archive : Archives()) {
        auto engine = Engine(TArchivFormat::Zip, archive);
        engine->Password = "geheim";
        ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
        EXPECT_EQ(EntryNames(*engine), (std::vector<std::string>{"beleg.txt", "kurz.txt", "zufall.bin"}));
        EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << archive << engine->LastError();
        engine->ExtractDir = (dir / "out").string();
        EXPECT_TRUE(engine->ExecuteArchivExtract()) << archive << engine->LastError();
        EXPECT_EQ(ReadTree(dir / "out"), Files()) << archive;
        EXPECT_EQ(engine->Password, "geheim");
        fs::remove_all(dir / "out");
    }
}

TEST_F(ZipPassword, AWrongPasswordIsAnItemErrorAndNothingIsWritten) {
    for (const std::string& archive : Archives()) {
        auto engine = Engine(TArchivFormat::Zip, archive);
        TRecorder recorder;
        recorder.Attach(*engine);
        engine->Password = "offen";
        engine->ExtractDir = (dir / "out").string();
        EXPECT_FALSE(engine->ExecuteArchivExtract());
        EXPECT_EQ(Sorted(recorder.errorItems), (std::vector<std::string>{"beleg.txt", "kurz.txt", "zufall.bin"}));
        EXPECT_NE(engine->LastError().find("Falsches Kennwort"), std::string::npos) << engine->LastError();
        EXPECT_EQ(engine->LastError().find("offen"), std::string::npos);
        EXPECT_TRUE(ReadTree(dir / "out").empty()) << archive;
        // Found wrong, the password is forgotten so that the next command asks again.
        EXPECT_TRUE(engine->Password.empty());
        fs::remove_all(dir / "out");
    }
}

// A stored AES entry of the second kind has no CRC: its authentication code must catch a change.
TEST_F(ZipPassword, AChangedByteInAStoredAesEntryIsFoundWithEveryKeyLength) {
    for (const std::string aes : {"AES128", "AES192", "AES256"}) {
        const std::string sound = SevenZipAes(aes + ".zip", "Copy", aes);
        auto engine = Engine(TArchivFormat::Zip, sound);
        engine->Password = "geheim";
        EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << aes << engine->LastError();

        const std::string changed = (dir / (aes + "-geaendert.zip")).string();
        fs::copy_file(sound, changed);
        // One bit in the middle of the random file's encrypted data.
        Python("import struct, sys, zipfile\n"
               "info = zipfile.ZipFile(sys.argv[1]).getinfo('zufall.bin')\n"
               "data = bytearray(open(sys.argv[1], 'rb').read())\n"
               "name, extra = struct.unpack_from('<HH', data, info.header_offset + 26)\n"
               "data[info.header_offset + 30 + name + extra + 20000] ^= 1\n"
               "open(sys.argv[1], 'wb').write(data)\n",
               {changed});
        EXPECT_NE(Tool({"7zz", "t", "-pgeheim", changed}).status, 0) << "7-Zip no longer sees the change";
        auto checked = Engine(TArchivFormat::Zip, changed);
        TRecorder recorder;
        recorder.Attach(*checked);
        checked->Password = "geheim";
        EXPECT_FALSE(checked->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << aes;
        EXPECT_EQ(recorder.errorItems, (std::vector<std::string>{"zufall.bin"})) << aes;
        checked->Password = "geheim";
        checked->ExtractDir = (dir / "out").string();
        EXPECT_FALSE(checked->ExecuteArchivExtract());
        EXPECT_FALSE(fs::exists(dir / "out/zufall.bin")) << aes;
        EXPECT_TRUE(fs::exists(dir / "out/beleg.txt")) << aes;
        fs::remove_all(dir / "out");
    }
}

TEST_F(ZipPassword, WithoutAPasswordTheEntriesAreRefusedAsEncrypted) {
    auto engine = Engine(TArchivFormat::Zip, SevenZipAes("aes.zip", "Deflate"));
    EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Simple)) << engine->LastError();
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    EXPECT_NE(engine->LastError().find("verschlüsselt"), std::string::npos) << engine->LastError();
}

TEST_F(ZipPassword, OnPasswordIsAskedOncePerCommandAndItsAnswerKept) {
    auto engine = Engine(TArchivFormat::Zip, InfoZip());
    int asked = 0;
    std::string answer;  // empty: the user cancels
    engine->OnPassword = [&](TArchivFormatAbstract&, std::string& password) {
        ++asked;
        if (answer.empty()) return false;
        password = answer;
        return true;
    };
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    EXPECT_EQ(asked, 1);
    EXPECT_NE(engine->LastError().find("verschlüsselt"), std::string::npos) << engine->LastError();
    answer = "geheim";
    EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << engine->LastError();
    EXPECT_EQ(asked, 2);
    engine->ExtractDir = (dir / "out").string();
    EXPECT_TRUE(engine->ExecuteArchivExtract()) << engine->LastError();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ReadTree(dir / "out"), Files());
    // An archive without encrypted entries never asks.
    auto plain = Engine(TArchivFormat::Zip, (dir / "plain.zip").string());
    Tool({"zip", "-q", (dir / "plain.zip").string(), "kurz.txt"}, (dir / "src").string());
    plain->OnPassword = engine->OnPassword;
    EXPECT_TRUE(plain->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << plain->LastError();
    EXPECT_EQ(asked, 2);
}

TEST_F(ZipPassword, TheCommandLineReadsThePasswordFromTheFileAndNeverShowsIt) {
    const std::string archive = SevenZipAes("aes.zip", "Deflate");
    const auto right = Tool({Cli(), "extract", "--password-file", (dir / "richtig").string(), archive,
                             (dir / "out").string()});
    EXPECT_EQ(right.status, 0) << right.err;
    EXPECT_EQ(ReadTree(dir / "out"), Files());
    const auto wrong = Tool({Cli(), "verify", "--complete", "--password-file", (dir / "falsch").string(), archive});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("Falsches Kennwort"), std::string::npos) << wrong.err;
    EXPECT_EQ((wrong.out + wrong.err).find("offen"), std::string::npos);
    const auto none = Tool({Cli(), "verify", "--complete", archive});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("verschlüsselt"), std::string::npos) << none.err;
    const auto missing = Tool({Cli(), "verify", "--complete", "--password-file", (dir / "fehlt").string(), archive});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Kennwortdatei"), std::string::npos) << missing.err;
    const auto usage = Tool({Cli(), "extract", archive, (dir / "out").string(), "--password-file"});
    EXPECT_EQ(usage.status, 2) << usage.err;
}

}  // namespace
}  // namespace archivtest
