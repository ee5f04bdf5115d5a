#include "ui/archivspandlg.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <deque>
#include <gtest/gtest.h>
#include <stdexcept>

#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "tests/support/recording_frontend.h"
#include "host/widgets/choosers.h"

using vendrask::TfrmArchivSpan;

namespace {

// Answers the target chooser from a script and records where it was asked to start.
class ScriptedDirectoryChooser : public tavik::TChoosers {
public:
    std::optional<QString> OpenFile(QWidget*, const QString&, const QString&, const QString&) override {
        ADD_FAILURE() << "file dialog not expected";
        return std::nullopt;
    }
    std::optional<QStringList> OpenFiles(QWidget*, const QString&) override {
        ADD_FAILURE() << "file dialog not expected";
        return std::nullopt;
    }
    std::optional<QString> SelectDirectory(QWidget*, const tavik::TDirectoryChooserOptions& options) override {
        if (failNext) throw std::runtime_error("Verzeichnisdialog kaputt");
        requests.push_back(options);
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    int ExecModal(QDialog&) override {
        ADD_FAILURE() << "no modal showing expected";
        return 0;
    }

    std::deque<std::optional<QString>> answers;
    std::vector<tavik::TDirectoryChooserOptions> requests;
    bool failNext = false;
};

class ArchivSpanTest : public testing::Test {
protected:
    void SetUp() override {
        tavik::TavikInfo().Reset();
        dialog.SetChoosers(chooser);
    }
    // As the main window does: preset, then show anew.
    void Open(const QString& target, std::int64_t size) {
        dialog.hide();
        dialog.SetTargetDir(target);
        dialog.SetSize(size);
        dialog.show();
    }
    QLineEdit* Edit() const { return dialog.findChild<QLineEdit*>("edtUserdefined"); }
    QRadioButton* Radio(const char* name) const { return dialog.findChild<QRadioButton*>(name); }
    QString Shown() const { return dialog.findChild<QLabel*>("lblTarget")->text(); }
    void Type(const QString& text) {
        Edit()->clear();
        QTest::keyClicks(Edit(), text);
    }
    std::int64_t OkWith(const QString& megabytes) {
        Open("/tmp", -1);
        Radio("rbtUserdefined")->click();
        Type(megabytes);
        dialog.spbOKClick();
        EXPECT_EQ(dialog.ModalResult(), TfrmArchivSpan::mrOK);
        return dialog.Size();
    }

    std::shared_ptr<ScriptedDirectoryChooser> chooser = std::make_shared<ScriptedDirectoryChooser>();
    TfrmArchivSpan dialog;
};

TEST_F(ArchivSpanTest, WindowControlsAndDefaults) {
    EXPECT_EQ(dialog.objectName(), "frmArchivSpan");
    EXPECT_EQ(dialog.windowTitle(), "Ziel und Dateigröße festlegen");
    EXPECT_EQ(dialog.minimumSize(), QSize(360, 214));
    EXPECT_EQ(dialog.maximumSize(), QSize(360, 214));
    EXPECT_EQ(dialog.TargetDir(), "/");
    EXPECT_EQ(dialog.Size(), -1);
    const std::pair<const char*, const char*> buttons[] = {
        {"spbAbbrechen", "Esc - zurück ..."},
        {"spbOK", "Enter - Eingaben übernehmen ..."},
        {"spbTarget", "Auswahl eines Laufwerkes bzw. eines Verzeichnisses ..."}};
    for (const auto& [name, hint] : buttons) {
        auto* button = dialog.findChild<QToolButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_EQ(button->toolTip(), hint);
        EXPECT_FALSE(button->icon().isNull());
    }
    EXPECT_EQ(dialog.findChild<QToolButton*>("spbAbbrechen")->text(), "Abbrechen");
    EXPECT_EQ(dialog.findChild<QToolButton*>("spbOK")->text(), "Speichern");
    EXPECT_EQ(dialog.findChild<QAction*>("actEsc")->shortcut(), QKeySequence(Qt::Key_Escape));
    EXPECT_EQ(dialog.findChild<QAction*>("actEnter")->shortcut(), QKeySequence(Qt::Key_Return));
    EXPECT_EQ(Radio("rbtAuto")->text(), "automatisch");
    EXPECT_EQ(Radio("rbtUserdefined")->text(), "benutzerdefiniert (in MB)");
    EXPECT_EQ(Radio("rbtAuto")->nextInFocusChain(), Radio("rbtUserdefined"));
    EXPECT_EQ(Radio("rbtUserdefined")->nextInFocusChain(), Edit());
    EXPECT_EQ(Edit()->maxLength(), 7);
}

TEST_F(ArchivSpanTest, AutomaticSizeStaysAutomaticAfterTypingAndSwitchingBack) {
    Open("/tmp", -1);
    EXPECT_TRUE(Radio("rbtAuto")->isChecked());
    EXPECT_FALSE(Edit()->isEnabled());
    Radio("rbtUserdefined")->click();
    EXPECT_TRUE(Edit()->isEnabled());
    Type("12,5");
    Radio("rbtAuto")->click();
    EXPECT_FALSE(Edit()->isEnabled());
    dialog.spbOKClick();
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivSpan::mrOK);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Size(), -1);
}

TEST_F(ArchivSpanTest, UserDefinedSizeIsShownInMegabytesAndReturnedUnchanged) {
    Open("/tmp", 1500000);
    EXPECT_TRUE(Radio("rbtUserdefined")->isChecked());
    EXPECT_TRUE(Edit()->isEnabled());
    EXPECT_EQ(Edit()->text(), "1,5");
    dialog.spbOKClick();
    EXPECT_EQ(dialog.Size(), 1500000);
    Open("/tmp", -1);
    EXPECT_TRUE(Radio("rbtAuto")->isChecked());
    EXPECT_FALSE(Edit()->isEnabled());
}

TEST_F(ArchivSpanTest, MegabytesAreMillionsOfBytes) {
    EXPECT_EQ(OkWith("2000"), 2000000000);
    EXPECT_EQ(OkWith("0,07"), 70000);
    EXPECT_EQ(OkWith("100"), 100000000);
    EXPECT_EQ(OkWith("1.25"), 1250000);
}

// Sizes the engine refuses (below 64 KiB) are refused here, in MB with a decimal comma, and the
// dialog stays open with the edit ready for another value.
struct TTooSmall {
    const char* Typed;
    const char* Said;
};

class ArchivSpanTooSmall : public ArchivSpanTest, public testing::WithParamInterface<TTooSmall> {
protected:
    void SetUp() override {
        ArchivSpanTest::SetUp();
        previous = tavik::TavikProgramm().SetFrontend(std::make_unique<testsupport::RecordingFrontend>(log));
    }
    void TearDown() override { tavik::TavikProgramm().SetFrontend(std::move(previous)); }

    testsupport::FrontendLog log;
    std::unique_ptr<tavik::TTavikFrontend> previous;
};

TEST_P(ArchivSpanTooSmall, IsRefusedInMegabytes) {
    Open("/tmp", 2000000);
    Type(QString::fromUtf8(GetParam().Typed));
    dialog.spbOKClick();
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivSpan::mrNone);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Size(), 2000000);
    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_EQ(log.notices[0], std::string("Die Teilgröße von ") + GetParam().Said +
                                  " MB ist zu klein: jeder Teil muss mindestens 0,07 MB groß sein. Bitte eine "
                                  "größere Teilgröße oder „automatisch“ wählen.");
    EXPECT_EQ(log.notices[0].find("Bytes"), std::string::npos);
    EXPECT_EQ(log.notices[0].find("KiB"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(ArchivSpan, ArchivSpanTooSmall,
                         testing::Values(TTooSmall{"0,06", "0,06"}, TTooSmall{"0,01", "0,01"}, TTooSmall{"0", "0"},
                                         TTooSmall{"", "0"}, TTooSmall{"0.065", "0,06"}));

TEST_F(ArchivSpanTest, TheSmallestChoosableSizeIsTheEnginesSmallestRoundedUp) {
    EXPECT_EQ(TfrmArchivSpan::kSmallestSize, 65536);
    EXPECT_DOUBLE_EQ(TfrmArchivSpan::SmallestMegabytes(), 0.07);
    EXPECT_GE(OkWith("0,07"), TfrmArchivSpan::kSmallestSize);
}

TEST_F(ArchivSpanTest, EditRefusesMoreThan2000AndMoreThanTwoDecimals) {
    Open("/tmp", 1000000);
    Type("3000");
    EXPECT_EQ(Edit()->text(), "300");
    Type("1,234");
    EXPECT_EQ(Edit()->text(), "1,23");
    Type("2000,01");
    EXPECT_EQ(Edit()->text(), "2000,0");
    Type("12a");
    EXPECT_EQ(Edit()->text(), "12");
    Open("/tmp", 5000000000);
    EXPECT_EQ(Edit()->text(), "2000");
}

TEST_F(ArchivSpanTest, ChosenDirectoryIsTakenOnlyByOk) {
    Open("/srv/STATEMP", -1);
    EXPECT_EQ(Shown(), "/srv/STATEMP");
    chooser->answers = {QString("/media/usb"), QString("/media/usb/teil")};
    dialog.spbTargetClick();
    dialog.spbTargetClick();
    dialog.spbTargetClick();  // cancelled: the label stays
    ASSERT_EQ(chooser->requests.size(), 3u);
    EXPECT_EQ(chooser->requests[0].Caption, "Auswahl Verzeichnis ...");
    EXPECT_EQ(chooser->requests[0].StartDir, "/srv/STATEMP");
    EXPECT_EQ(chooser->requests[1].StartDir, "/media/usb");
    EXPECT_EQ(chooser->requests[2].StartDir, "/media/usb/teil");
    EXPECT_EQ(Shown(), "/media/usb/teil");
    EXPECT_EQ(dialog.TargetDir(), "/srv/STATEMP");
    dialog.spbAbbrechenClick();
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivSpan::mrCancel);
    EXPECT_EQ(dialog.TargetDir(), "/srv/STATEMP");

    Open("/srv/STATEMP", -1);
    chooser->answers = {QString("/media/usb")};
    dialog.spbTargetClick();
    dialog.spbOKClick();
    EXPECT_EQ(dialog.TargetDir(), "/media/usb");
}

TEST_F(ArchivSpanTest, AmpersandsInTheTargetAreShownAsTheyAre) {
    Open("/daten/A&B <neu>", -1);
    auto* label = dialog.findChild<QLabel*>("lblTarget");
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->buddy(), nullptr);
    dialog.spbOKClick();
    EXPECT_EQ(dialog.TargetDir(), "/daten/A&B <neu>");
}

TEST_F(ArchivSpanTest, KeysRunTheHandlers) {
    Open("/tmp", 1000000);
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    Type("5");
    QTest::keyClick(Edit(), Qt::Key_Return);
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivSpan::mrOK);
    EXPECT_EQ(dialog.Size(), 5000000);

    Open("/tmp", 1000000);
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    Type("7");
    QTest::keyClick(Edit(), Qt::Key_Escape);
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivSpan::mrCancel);
    EXPECT_EQ(dialog.Size(), 1000000);
}

TEST_F(ArchivSpanTest, FailureIsRegisteredWithTheHandlersContext) {
    Open("/tmp", -1);
    chooser->failNext = true;
    dialog.spbTargetClick();
    ASSERT_EQ(tavik::TavikInfo().PendingFailures().size(), 1u);
    EXPECT_EQ(tavik::TavikInfo().PendingFailures()[0].Context, "TfrmArchivSpan.spbTargetClick");
    EXPECT_EQ(Shown(), "/tmp");
    EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
