// The windows' front end: message boxes, pending input, failures, progress dialogs.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <random>

#include "host/services/progress_dialog.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "host/widgets/progress_window.h"
#include "host/widgets/qt_frontend.h"
#include "task/dmarchivu.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/support/window_fixture.h"

namespace uitest {
namespace {

using namespace tavik;

class QtFrontendTest : public testing::Test {
protected:
    void TearDown() override { TavikProgramm().Reset(); }

    std::shared_ptr<WindowChoosers> choosers = std::make_shared<WindowChoosers>();
    TQtFrontend frontend{choosers};
};

TEST_F(QtFrontendTest, ANoticeIsAModalMessageBoxWithTheText) {
    choosers->modalAnswers.push_back([](QDialog& dialog) {
        auto& box = dynamic_cast<QMessageBox&>(dialog);
        EXPECT_EQ(box.windowTitle(), QStringLiteral("Archivverwaltung"));
        EXPECT_EQ(box.icon(), QMessageBox::Information);
        box.button(QMessageBox::Ok)->click();
        return 1;
    });
    frontend.ShowNotice("Die Archivdatei scheint defekt zu sein.", "");
    ASSERT_EQ(choosers->modalTexts.size(), 1u);
    EXPECT_EQ(choosers->modalTexts[0], QStringLiteral("Die Archivdatei scheint defekt zu sein."));
    EXPECT_TRUE(choosers->modalAnswers.empty());
}

TEST_F(QtFrontendTest, AQuestionAnswersYesOrNo) {
    const auto click = [](QMessageBox::StandardButton which) {
        return [which](QDialog& dialog) {
            auto& box = dynamic_cast<QMessageBox&>(dialog);
            EXPECT_EQ(box.windowTitle(), QStringLiteral("Frage"));
            EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Ja"));
            EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("&Nein"));
            box.button(which)->click();
            return 1;
        };
    };
    choosers->modalAnswers = {click(QMessageBox::Yes), click(QMessageBox::No)};
    EXPECT_EQ(frontend.AskQuestion("Weiter?", "Frage", mbYesNo, 0xE8F0FF), idYes);
    EXPECT_EQ(frontend.AskQuestion("Weiter?", "Frage", mbYesNo, 0xE8F0FF), idNo);
    // Closed without an answer: No.
    EXPECT_EQ(frontend.AskQuestion("Weiter?", "Frage", mbYesNo, 0xE8F0FF), idNo);
}

TEST_F(QtFrontendTest, AQuestionWithTheAllAnswersHasFourButtonsAndNoAsDefault) {
    const auto click = [](QMessageBox::StandardButton which) {
        return [which](QDialog& dialog) {
            auto& box = dynamic_cast<QMessageBox&>(dialog);
            EXPECT_EQ(box.buttons().size(), 4);
            EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Ja"));
            EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("&Nein"));
            EXPECT_EQ(box.button(QMessageBox::YesToAll)->text(), QStringLiteral("Ja, &alle"));
            EXPECT_EQ(box.button(QMessageBox::NoToAll)->text(), QStringLiteral("Nein, &keine"));
            EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No));
            box.button(which)->click();
            return 1;
        };
    };
    choosers->modalAnswers = {click(QMessageBox::Yes), click(QMessageBox::No), click(QMessageBox::YesToAll),
                              click(QMessageBox::NoToAll)};
    const std::string text = "Die Datei „/tmp/a.txt“ ist bereits vorhanden. Soll sie überschrieben werden?";
    EXPECT_EQ(frontend.AskQuestion(text, "Frage", mbYesNoAll, 0xE8F0FF), idYes);
    EXPECT_EQ(frontend.AskQuestion(text, "Frage", mbYesNoAll, 0xE8F0FF), idNo);
    EXPECT_EQ(frontend.AskQuestion(text, "Frage", mbYesNoAll, 0xE8F0FF), idYesAll);
    EXPECT_EQ(frontend.AskQuestion(text, "Frage", mbYesNoAll, 0xE8F0FF), idNoAll);
    ASSERT_EQ(choosers->modalTexts.size(), 4u);
    EXPECT_EQ(choosers->modalTexts[0], QString::fromStdString(text));
    // Closed without an answer: No.
    EXPECT_EQ(frontend.AskQuestion(text, "Frage", mbYesNoAll, 0xE8F0FF), idNo);
}

TEST_F(QtFrontendTest, FailuresAreCollectedInOneWindowWithoutAModalBox) {
    EXPECT_EQ(frontend.Failures(), nullptr);
    frontend.ShowFailure({Now(), "TdmOlvexArchiv.ArchExecute", "Im Archivverzeichnis kann nicht geschrieben werden."});
    frontend.ShowFailure({Now(), "TdmOlvexArchiv.DeleteExecute", "„x“ wird nicht gelöscht."});
    ASSERT_NE(frontend.Failures(), nullptr);
    EXPECT_TRUE(frontend.Failures()->isVisible());
    EXPECT_FALSE(frontend.Failures()->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(choosers->modalTexts.empty());
    ASSERT_EQ(frontend.Failures()->Count(), 2);
    EXPECT_EQ(frontend.Failures()->Line(0)[1], QStringLiteral("Dateien archivieren"));
    EXPECT_EQ(frontend.Failures()->Context(0), "TdmOlvexArchiv.ArchExecute");
    EXPECT_EQ(frontend.Failures()->Line(1)[2], QStringLiteral("„x“ wird nicht gelöscht."));
    EXPECT_FALSE(frontend.Failures()->testAttribute(Qt::WA_QuitOnClose));
}

TEST_F(QtFrontendTest, TheFailureListIsAWindowOfTheMainWindowAndGoesWithIt) {
    auto owner = std::make_unique<QWidget>();
    owner->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(owner.get()));
    frontend.SetOwner(owner.get());
    frontend.ShowFailure({Now(), "TdmOlvexArchiv.ArchExecute", "Im Archivverzeichnis kann nicht geschrieben werden."});
    QPointer<TFailureList> list = frontend.Failures();
    ASSERT_FALSE(list.isNull());
    // Its own window above the main window, without a taskbar entry of its own.
    EXPECT_EQ(list->parentWidget(), owner.get());
    EXPECT_TRUE(list->isWindow());
    EXPECT_EQ(list->windowType(), Qt::Dialog);
    EXPECT_TRUE(list->isVisible());
    EXPECT_FALSE(list->isModal());
    EXPECT_TRUE(owner->isEnabled());

    owner.reset();
    EXPECT_TRUE(list.isNull());
    EXPECT_EQ(frontend.Failures(), nullptr);
    // Without an owner the next failure opens a list of its own.
    frontend.ShowFailure({Now(), "TdmOlvexArchiv.DeleteExecute", "„x“ wird nicht gelöscht."});
    ASSERT_NE(frontend.Failures(), nullptr);
    EXPECT_EQ(frontend.Failures()->parentWidget(), nullptr);
    EXPECT_EQ(frontend.Failures()->Count(), 1);
}

TEST_F(QtFrontendTest, TheErrorServiceReachesTheFailureWindow) {
    auto owned = std::make_unique<TQtFrontend>(choosers);
    TQtFrontend* installed = owned.get();
    TavikProgramm().SetFrontend(std::move(owned));
    TavikInfo().Reset();
    Guarded("TfrmVendrask.spbSystemArchClick", [] { throw std::runtime_error("kaputt"); });
    ASSERT_NE(installed->Failures(), nullptr);
    EXPECT_EQ(installed->Failures()->Line(0)[1], QStringLiteral("Markierte Dateien archivieren"));
    EXPECT_EQ(installed->Failures()->Context(0), "TfrmVendrask.spbSystemArchClick");
    EXPECT_EQ(installed->Failures()->Line(0)[2], QStringLiteral("kaputt"));
    TavikInfo().Reset();
}

TEST_F(QtFrontendTest, PendingEventsAreHandled) {
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    frontend.ProcessMessages(333);
    EXPECT_TRUE(ran);
}

TEST_F(QtFrontendTest, ANoticeShownWhileACommandHandlesInputLetsTheCommandGoOn) {
    QWidget owner;
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    frontend.SetOwner(&owner);
    // A command's steps, each handling pending input as the progress events do; a click between
    // two of them is refused with a notice.
    bool noticeReturned = false;
    int stepsAfterNotice = 0;
    QTimer::singleShot(0, &owner, [&] {
        frontend.ShowNotice("Es läuft bereits eine Operation.", "");
        noticeReturned = true;
    });
    for (int step = 0; step < 20; ++step) {
        frontend.ProcessMessages(333);
        if (noticeReturned) ++stepsAfterNotice;
    }
    EXPECT_TRUE(noticeReturned);
    EXPECT_GE(stepsAfterNotice, 19);
    // The notice is open all the while, modal to the window, and no box of its own loop ran.
    QMessageBox* box = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* candidate = qobject_cast<QMessageBox*>(top); candidate && candidate->isVisible()) box = candidate;
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->objectName(), QStringLiteral("msgHinweis"));
    EXPECT_EQ(box->text(), QStringLiteral("Es läuft bereits eine Operation."));
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->parentWidget(), &owner);
    EXPECT_TRUE(choosers->modalTexts.empty());
    // OK closes it and it goes.
    QPointer<QMessageBox> gone = box;
    box->button(QMessageBox::Ok)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(gone.isNull());

    // Outside a command a notice waits for its answer, as before.
    choosers->modalAnswers.push_back([](QDialog&) { return 1; });
    frontend.ShowNotice("Die Archivdatei wurde aufgeteilt.", "");
    ASSERT_EQ(choosers->modalTexts.size(), 1u);
    EXPECT_EQ(choosers->modalTexts[0], QStringLiteral("Die Archivdatei wurde aufgeteilt."));
}

TEST_F(QtFrontendTest, TheArchiveDialogShowsCaptionBarsAndTheFileAndDisablesItsOwner) {
    vendrask::TdmOlvexArchiv module(TParameters{"vendrask"});
    QWidget owner;
    owner.setGeometry(150, 120, 800, 600);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    frontend.SetOwner(&owner);
    auto view = frontend.OpenProgressView(module.pgdArchiv);
    ASSERT_NE(view, nullptr);
    auto& window = dynamic_cast<TProgressWindowView&>(*view).Window();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_TRUE(window.isEnabled());
    // A dialog of the main window: above it, centred over it, no taskbar entry of its own.
    EXPECT_EQ(window.parentWidget(), &owner);
    EXPECT_TRUE(window.isWindow());
    EXPECT_EQ(window.windowType(), Qt::Dialog);
    const QPoint offset = window.frameGeometry().center() - owner.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Dateien archivieren ..."));
    auto* item = window.findChild<QProgressBar*>(QStringLiteral("Item"));
    auto* total = window.findChild<QProgressBar*>(QStringLiteral("Total"));
    auto* line = window.findChild<QLabel*>(QStringLiteral("CounterLine0"));
    auto* caption = window.findChild<QLabel*>(QStringLiteral("CounterLine0Caption"));
    ASSERT_TRUE(item && total && line && caption);
    EXPECT_EQ(caption->text(), QStringLiteral("Datei"));

    module.pgdArchiv.SetProgress(0, 3, 1);
    module.pgdArchiv.SetProgress(1, 3, 2);
    module.pgdArchiv.SetCounterText(0, "beleg0001.dat");
    view->Refresh(module.pgdArchiv);
    EXPECT_EQ(item->value(), 333);
    EXPECT_EQ(total->value(), 667);
    EXPECT_EQ(line->text(), QStringLiteral("beleg0001.dat"));
    // The user cannot close it.
    window.close();
    EXPECT_TRUE(window.isVisible());

    view.reset();
    EXPECT_TRUE(owner.isEnabled());
}

TEST_F(QtFrontendTest, TheDeleteDialogPlaysItsAnimationAndGivesBackADisabledOwnerDisabled) {
    vendrask::TdmOlvexArchiv module(TParameters{"vendrask"});
    QWidget owner;
    owner.show();
    owner.setEnabled(false);
    frontend.SetOwner(&owner);
    auto view = frontend.OpenProgressView(module.pgdDelete);
    auto& window = dynamic_cast<TProgressWindowView&>(*view).Window();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Dateien löschen ..."));
    auto* animation = window.findChild<QProgressBar*>(QStringLiteral("Bar0"));
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(animation->minimum(), 0);
    EXPECT_EQ(animation->maximum(), 0);  // a busy bar that keeps moving
    EXPECT_EQ(animation->property("animation").toString(), QStringLiteral("aviDeleteFile"));
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("CounterLine0")), nullptr);
    view.reset();
    EXPECT_FALSE(owner.isEnabled());
}

TEST_F(QtFrontendTest, TheTaskModulesDialogOpensThroughTheProgramsFrontEnd) {
    auto owned = std::make_unique<TQtFrontend>(choosers);
    TavikProgramm().SetFrontend(std::move(owned));
    vendrask::TdmOlvexArchiv module(TParameters{"vendrask"});
    module.pgdDelete.Start();
    EXPECT_TRUE(module.pgdDelete.Active());
    bool shown = false;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<TProgressWindow*>(top); window && window->isVisible())
            shown = window->windowTitle() == QStringLiteral("Dateien löschen ...");
    EXPECT_TRUE(shown);
    module.pgdDelete.Stop();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<TProgressWindow*>(top)) {
            EXPECT_FALSE(window->isVisible());
        }
    }
}

// The window with its own front end: a click on another command while a verification runs is
// refused with a notice, and the verification goes on beneath it to its end.
class RunningCommandNotice : public WindowTest {};

TEST_F(RunningCommandNotice, TheVerificationGoesOnWhileTheRefusalIsOpen) {
    testsupport::TempDir scratch;
    std::mt19937 random(24);
    std::vector<std::string> argv{"zip", "-q", "-0", (scratch / "gross.zip").string()};
    for (int file = 0; file < 6; ++file) {
        std::string bytes(1'500'000, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random() & 0xff);
        const std::string name = "teil" + std::to_string(file) + ".bin";
        testsupport::WriteFile(scratch / name, bytes);
        argv.push_back(name);
    }
    testsupport::ProcessOptions options;
    options.workDir = scratch.str();
    ASSERT_EQ(testsupport::RunProcess(argv, options).status, 0);
    OpenWithQtFrontend();
    window->pgcAnsicht->setCurrentWidget(window->tshArchivVerwaltung);
    module->SetArchivFileName((scratch / "gross.zip").string());
    window->ArchivAnzeigen();
    ASSERT_EQ(window->vrtArchivInhalt->RootNodeCount(), 6);

    // The second click arrives with the first input the verification handles.
    QTimer::singleShot(0, window.get(), [this] { window->spbVerifySimple->click(); });
    const auto refusal = [] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(top);
                box && box->isVisible() && box->text().startsWith(QStringLiteral("Es läuft bereits eine Operation")))
                return box;
        return static_cast<QMessageBox*>(nullptr);
    };
    int stepsWhileOpen = 0;
    QObject::connect(window->pgbProgressTotal, &QProgressBar::valueChanged, window.get(), [&](int) {
        if (refusal()) ++stepsWhileOpen;
    });
    window->spbVerifyComplete->click();

    // The verification ended with its own notice while the refusal was still open.
    EXPECT_GE(stepsWhileOpen, 2);
    ASSERT_EQ(choosers->modalTexts.size(), 1u);
    EXPECT_TRUE(choosers->modalTexts[0].startsWith(QStringLiteral("Die Archivdatei wurde erfolgreich geprüft. ")))
        << choosers->modalTexts[0].toStdString();
    QMessageBox* open = refusal();
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->windowModality(), Qt::WindowModal);
    EXPECT_FALSE(window->CommandRunning());
    open->button(QMessageBox::Ok)->click();
    EXPECT_EQ(refusal(), nullptr);
}

}  // namespace
}  // namespace uitest
