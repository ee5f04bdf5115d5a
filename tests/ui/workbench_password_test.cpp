// The workbench asks for the password of an archive with encrypted entries when a command
// needs their data: input hidden, "Abbrechen" leaves them refused.
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "tests/support/run_process.h"
#include "tests/ui/support/workbench_fixture.h"

namespace uitest {
namespace {

namespace fs = std::filesystem;

class WorkbenchPassword : public WorkbenchTest {
protected:
    std::string Encrypted() {
        Write("quelle/brief.txt", "Vertrauliche Zeilen\n");
        const std::string archive = Scratch("geheim.zip");
        testsupport::ProcessOptions options;
        options.workDir = Scratch("quelle");
        const auto made = testsupport::RunProcess(
            {"7zz", "a", "-tzip", "-bso0", "-pgeheim", "-mem=AES256", archive, "brief.txt"}, options);
        EXPECT_EQ(made.status, 0) << made.err;
        return archive;
    }

    // Types text into the shown dialog and presses the button of role (Ok or Cancel).
    std::function<int(QDialog&)> Answer(const QString& text, QDialogButtonBox::StandardButton button) {
        return [this, text, button](QDialog& dialog) {
            dialog.show();
            auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("edtKennwort"));
            auto* buttons = dialog.findChild<QDialogButtonBox*>();
            if (!edit || !buttons) return 0;
            hidden = edit->echoMode() == QLineEdit::Password;
            label = dialog.findChild<QLabel*>(QStringLiteral("lblKennwort"))->text().toStdString();
            cancelText = buttons->button(QDialogButtonBox::Cancel)->text().toStdString();
            QTest::keyClicks(edit, text);
            QTest::mouseClick(buttons->button(button), Qt::LeftButton);
            return dialog.result();
        };
    }

    bool hidden = false;
    std::string label, cancelText;
};

TEST_F(WorkbenchPassword, TheRightPasswordTypedIntoTheDialogExtractsTheEntry) {
    const std::string archive = Encrypted();
    Open();
    ChooseArchive(archive);
    ASSERT_EQ(Rows(), (std::vector<std::string>{"brief.txt"}));
    choosers->modalAnswers.push_back(Answer(QStringLiteral("geheim"), QDialogButtonBox::Ok));
    choosers->directories.push_back(QString::fromStdString(Scratch("ziel")));
    fs::create_directories(Scratch("ziel"));
    window->spbDecompressAll->click();
    EXPECT_EQ(choosers->modalShown, (std::vector<QString>{QStringLiteral("frmKennwort")}));
    EXPECT_TRUE(hidden);
    EXPECT_NE(label.find("geheim.zip"), std::string::npos) << label;
    EXPECT_EQ(cancelText, "Abbrechen");
    EXPECT_EQ(log.notices, (std::vector<std::string>{"Daten wurden erfolgreich entpackt."}));
    EXPECT_EQ(testsupport::ReadFile(Scratch("ziel/brief.txt")), "Vertrauliche Zeilen\n");
    // The next command of the same archive does not ask again.
    window->spbVerifyComplete->click();
    EXPECT_EQ(choosers->modalShown.size(), 1u);
    EXPECT_EQ(log.notices.back(),
              "Die Archivdatei wurde erfolgreich geprüft. 0 Einträge durch SHA-256 bestätigt, 1 Eintrag nur durch "
              "CRC-32.");
    EXPECT_FALSE(module->Archiv()->OnPassword);
}

TEST_F(WorkbenchPassword, AbbrechenLeavesTheEntriesRefusedAndTheNextCommandAsksAgain) {
    const std::string archive = Encrypted();
    Open();
    ChooseArchive(archive);
    choosers->modalAnswers.push_back(Answer(QStringLiteral("irgendwas"), QDialogButtonBox::Cancel));
    window->spbVerifyComplete->click();
    EXPECT_EQ(choosers->modalShown, (std::vector<QString>{QStringLiteral("frmKennwort")}));
    EXPECT_EQ(log.notices, (std::vector<std::string>{
                               "Die Prüfung ist unvollständig: verschlüsselte Einträge wurden ohne Kennwort nicht geprüft."}));
    EXPECT_TRUE(module->Archiv()->Password.empty());
    // A wrong password fails the entry and is not kept.
    choosers->modalAnswers.push_back(Answer(QStringLiteral("Zugang42"), QDialogButtonBox::Ok));
    choosers->directories.push_back(QString::fromStdString(Scratch("ziel")));
    fs::create_directories(Scratch("ziel"));
    window->spbDecompressAll->click();
    EXPECT_EQ(choosers->modalShown.size(), 2u);
    EXPECT_FALSE(fs::exists(Scratch("ziel/brief.txt")));
    ASSERT_EQ(log.failures.size(), 2u);
    EXPECT_NE(log.failures[1].find("Falsches Kennwort"), std::string::npos) << log.failures[1];
    for (const std::string& failure : log.failures) EXPECT_EQ(failure.find("Zugang42"), std::string::npos);
    EXPECT_TRUE(module->Archiv()->Password.empty());
}

TEST_F(WorkbenchPassword, AWrongPasswordInTheCompleteCheckIsNamedNotCalledDamage) {
    const std::string archive = Encrypted();
    Open();
    ChooseArchive(archive);
    choosers->modalAnswers.push_back(Answer(QStringLiteral("Zugang42"), QDialogButtonBox::Ok));
    window->spbVerifyComplete->click();
    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_EQ(log.notices[0].rfind("Falsches Kennwort", 0), 0u) << log.notices[0];
}

}  // namespace
}  // namespace uitest
