// The workbench chooses its messages by the kind of an engine failure: a full disk with its
// advice, an archive gone since it was opened, an abort without any failure.
#include <QPushButton>
#include <QToolButton>

#include <filesystem>
#include <random>

#include "tests/support/file_size_limit.h"
#include "tests/ui/support/workbench_fixture.h"

namespace uitest {
namespace {

namespace fs = std::filesystem;

const char* const kDiskFull = "Auf dem Datenträger ist nicht genug Platz. Bitte schaffen Sie Platz oder wählen Sie "
                              "ein anderes Ziel und wiederholen Sie den Vorgang.";

class WorkbenchErrorKind : public WorkbenchTest {
protected:
    QString Q(const std::string& name) const { return QString::fromStdString(Scratch(name)); }
    // Bytes that do not compress, so that volumes fill up.
    static std::string Noise(std::size_t size) {
        std::mt19937 random(11);
        std::string bytes(size, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        return bytes;
    }
};

TEST_F(WorkbenchErrorKind, AFullDiskWhileExtractingIsReportedWithItsAdvice) {
    const std::string archive = MakeZip(Scratch("gross.zip"), {{"gross.bin", Noise(1'000'000)}}, true);
    Open();
    ChooseArchive(archive);
    choosers->directories.push_back(Q("ziel"));
    {
        const testsupport::TFileSizeLimit limit(64 * 1024);
        window->spbDecompressAll->click();
    }
    // Extraction ends without a notice; the failure list says what to do, then names the file.
    EXPECT_TRUE(log.notices.empty());
    ASSERT_EQ(log.failures.size(), 2u);
    EXPECT_EQ(log.failures[0].rfind("TfrmVendrask.spbDecompressAllClick: ", 0), 0u) << log.failures[0];
    EXPECT_NE(log.failures[0].find(kDiskFull), std::string::npos) << log.failures[0];
    EXPECT_NE(log.failures[1].find("„gross.bin“"), std::string::npos) << log.failures[1];
}

TEST_F(WorkbenchErrorKind, AFullDiskWhileSplittingShowsItsAdviceInsteadOfTheGeneralNotice) {
    const std::string archive = MakeZip(Scratch("gross.zip"), {{"gross.bin", Noise(1'000'000)}}, true);
    fs::create_directories(Scratch("teile"));
    Open();
    ChooseArchive(archive);
    choosers->modalAnswers.push_back(SpanWith(0.5, Q("teile")));
    {
        const testsupport::TFileSizeLimit limit(64 * 1024);
        window->spbSpan->click();
    }
    EXPECT_EQ(log.notices, (std::vector<std::string>{kDiskFull}));
    ASSERT_EQ(log.failures.size(), 1u);
    EXPECT_NE(log.failures[0].find(kDiskFull), std::string::npos) << log.failures[0];

    // Any other failure keeps the general notice and gives no such advice.
    choosers->modalAnswers.push_back(SpanWith(0.5, Q("gibt/es/nicht")));
    window->spbSpan->click();
    EXPECT_EQ(log.notices.back(), "Beim Aufteilen trat ein Fehler auf..");
    ASSERT_EQ(log.failures.size(), 2u);
    EXPECT_EQ(log.failures[1].find(kDiskFull), std::string::npos) << log.failures[1];
}

TEST_F(WorkbenchErrorKind, AnAbortedSplitIsNoFailure) {
    const std::string archive = MakeZip(Scratch("gross.zip"), {{"gross.bin", Noise(12'000'000)}}, true);
    fs::create_directories(Scratch("teile"));
    Open();
    ChooseArchive(archive);
    log.onProcessMessages = [&] {
        if (window->spbAbortOperation->isVisible()) window->spbAbortOperation->click();
    };
    choosers->modalAnswers.push_back(SpanWith(0.5, Q("teile")));
    window->spbSpan->click();
    log.onProcessMessages = nullptr;
    EXPECT_EQ(module->Archiv()->LastErrorKind(), tavik::TErrorKind::Aborted) << module->Archiv()->LastError();
    EXPECT_TRUE(log.notices.empty()) << log.notices.front();
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
}

TEST_F(WorkbenchErrorKind, CheckingAnArchiveThatIsGoneSaysSoAndNotThatItIsDamaged) {
    const std::string archive = MakeZip(Scratch("weg.zip"), {{"a.txt", "alpha"}});
    Open();
    ChooseArchive(archive);
    fs::remove(archive);
    window->spbVerifySimple->click();
    EXPECT_EQ(log.notices, (std::vector<std::string>{
                               "Die Archivdatei ist nicht mehr vorhanden; sie wurde inzwischen entfernt oder umbenannt."}));
}

}  // namespace
}  // namespace uitest
