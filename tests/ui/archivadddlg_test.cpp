#include "ui/archivadddlg.h"

#include <QAction>
#include <QListWidget>
#include <QTest>
#include <QToolButton>
#include <deque>
#include <gtest/gtest.h>
#include <stdexcept>

#include "host/services/tavik_info.h"
#include "host/widgets/choosers.h"

using vendrask::TfrmArchivAdd;

namespace {

// Answers the dialog's file and directory questions from a script and records them.
class ScriptedChoosers : public tavik::TChoosers {
public:
    std::optional<QString> OpenFile(QWidget*, const QString&, const QString&, const QString&) override {
        ADD_FAILURE() << "single-file dialog not expected";
        return std::nullopt;
    }
    std::optional<QStringList> OpenFiles(QWidget* parent, const QString& title) override {
        if (failNext) throw std::runtime_error("Dateidialog kaputt");
        parents.push_back(parent);
        titles.push_back(title);
        if (files.empty()) return std::nullopt;
        auto answer = files.front();
        files.pop_front();
        return answer;
    }
    std::optional<QString> SelectDirectory(QWidget*, const tavik::TDirectoryChooserOptions& options) override {
        directoryRequests.push_back(options);
        if (directories.empty()) return std::nullopt;
        auto answer = directories.front();
        directories.pop_front();
        return answer;
    }
    int ExecModal(QDialog&) override {
        ADD_FAILURE() << "no modal showing expected";
        return 0;
    }

    std::deque<std::optional<QStringList>> files;
    std::deque<std::optional<QString>> directories;
    std::vector<QWidget*> parents;
    std::vector<QString> titles;
    std::vector<tavik::TDirectoryChooserOptions> directoryRequests;
    bool failNext = false;
};

class ArchivAddTest : public testing::Test {
protected:
    void SetUp() override {
        tavik::TavikInfo().Reset();
        dialog.SetChoosers(choosers);
        dialog.show();
    }
    QStringList Rows() const {
        QStringList rows;
        auto* list = dialog.findChild<QListWidget*>("vstDateien");
        for (int row = 0; row < list->count(); ++row) rows << list->item(row)->text();
        return rows;
    }
    void AddFiles(const QStringList& files) {
        choosers->files.push_back(files);
        dialog.spbAddFileClick();
    }
    void Activate() {
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }

    std::shared_ptr<ScriptedChoosers> choosers = std::make_shared<ScriptedChoosers>();
    TfrmArchivAdd dialog;
};

TEST_F(ArchivAddTest, WindowButtonsAndKeys) {
    EXPECT_EQ(dialog.objectName(), "frmArchivAdd");
    EXPECT_EQ(dialog.windowTitle(), "Verzeichnisse und Dateien hinzufügen ...");
    EXPECT_EQ(dialog.size(), QSize(539, 319));
    struct Expected {
        const char* button;
        const char* caption;
        const char* hint;
        const char* action;
        QKeySequence key;
    };
    const Expected expected[] = {
        {"spbCancel", "Abbrechen", "Esc - zurück", "actEsc", QKeySequence(Qt::Key_Escape)},
        {"spbOK", "Speichern", "Enter - Liste verarbeiten", "actOK", QKeySequence(Qt::Key_Return)},
        {"spbAddFolder", "Verzeichnis", "F7 - Verzeichnis hinzufügen", "actF7", QKeySequence(Qt::Key_F7)},
        {"spbAddFile", "Datei", "F8 - Datei hinuzfügen ...", "actF8", QKeySequence(Qt::Key_F8)},
        {"spbDelete", "Entfernen", "Entf - Markierten Eintrag entfernen", "actEntf", QKeySequence(Qt::Key_Delete)},
    };
    int left = -1;
    for (const auto& e : expected) {
        SCOPED_TRACE(e.button);
        auto* button = dialog.findChild<QToolButton*>(e.button);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), e.caption);
        EXPECT_EQ(button->toolTip(), e.hint);
        EXPECT_EQ(button->size(), QSize(65, 65));
        EXPECT_FALSE(button->icon().pixmap(32).toImage().isNull());
        EXPECT_GT(button->x(), left);
        left = button->x();
        auto* action = dialog.findChild<QAction*>(e.action);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->shortcut(), e.key);
    }
    EXPECT_TRUE(dialog.findChild<QAction*>("actOK")->shortcuts().contains(QKeySequence(Qt::Key_Enter)));
}

TEST_F(ArchivAddTest, ChosenFilesAreAppendedInOrderAfterTheExistingRows) {
    AddFiles({"/d/a.txt", "/d/b.txt"});
    AddFiles({"/e/c.txt", "/e/d.txt", "/e/e.txt"});
    EXPECT_EQ(Rows(), QStringList({"/d/a.txt", "/d/b.txt", "/e/c.txt", "/e/d.txt", "/e/e.txt"}));
    EXPECT_EQ(choosers->titles, std::vector<QString>(2, "Auswahl Dateien ..."));
    EXPECT_EQ(choosers->parents.front(), &dialog);
}

TEST_F(ArchivAddTest, SameFileTwiceGivesTwoEntries) {
    AddFiles({"/d/a.txt"});
    AddFiles({"/d/a.txt"});
    dialog.spbOKClick();
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivAdd::mrOK);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Files(), QStringList({"/d/a.txt", "/d/a.txt"}));
}

TEST_F(ArchivAddTest, CancelledChoosersAddNothing) {
    dialog.spbAddFileClick();
    dialog.spbAddFolderClick();
    EXPECT_TRUE(Rows().isEmpty());
}

TEST_F(ArchivAddTest, DirectoryIsAppendedAsOneRow) {
    AddFiles({"/d/a.txt"});
    choosers->directories.push_back("/home/u/Belege");
    dialog.spbAddFolderClick();
    EXPECT_EQ(Rows(), QStringList({"/d/a.txt", "/home/u/Belege"}));
    ASSERT_EQ(choosers->directoryRequests.size(), 1u);
    EXPECT_EQ(choosers->directoryRequests[0].Caption, "Auswahl Verzeichnis ...");
    EXPECT_TRUE(choosers->directoryRequests[0].StartDir.isEmpty());
}

TEST_F(ArchivAddTest, OkWithEmptyListStaysOpenWithResultNoneAndEmptyFiles) {
    AddFiles({"/d/a.txt"});
    dialog.spbOKClick();
    dialog.show();
    dialog.spbOKClick();
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivAdd::mrNone);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.Files().isEmpty());
}

TEST_F(ArchivAddTest, ReopeningClearsTheListWhileFilesKeepsTheLastResult) {
    AddFiles({"/d/a.txt", "/d/b.txt"});
    dialog.spbOKClick();
    dialog.show();
    EXPECT_TRUE(Rows().isEmpty());
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivAdd::mrNone);
    EXPECT_EQ(dialog.Files(), QStringList({"/d/a.txt", "/d/b.txt"}));
}

TEST_F(ArchivAddTest, CancelKeepsFilesAndClosingTheWindowCancelsToo) {
    AddFiles({"/d/a.txt"});
    dialog.spbOKClick();
    dialog.show();
    AddFiles({"/d/x.txt"});
    dialog.spbCancelClick();
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivAdd::mrCancel);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Files(), QStringList({"/d/a.txt"}));
    dialog.show();
    dialog.close();
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivAdd::mrCancel);
}

TEST_F(ArchivAddTest, DeleteRemovesOnlyTheFirstSelectedRowAndNothingWithoutSelection) {
    AddFiles({"/a", "/b", "/c", "/d"});
    auto* list = dialog.findChild<QListWidget*>("vstDateien");
    list->clearSelection();
    dialog.spbDeleteClick();
    EXPECT_EQ(Rows().size(), 4);
    list->item(3)->setSelected(true);
    list->item(1)->setSelected(true);
    dialog.spbDeleteClick();
    EXPECT_EQ(Rows(), QStringList({"/a", "/c", "/d"}));
    EXPECT_TRUE(list->item(2)->isSelected());
}

TEST_F(ArchivAddTest, ButtonsAndKeysRunTheHandlers) {
    Activate();
    choosers->files.push_back(QStringList{"/a", "/b"});
    QTest::keyClick(&dialog, Qt::Key_F8);
    choosers->directories.push_back("/dir");
    QTest::keyClick(&dialog, Qt::Key_F7);
    dialog.findChild<QListWidget*>("vstDateien")->item(0)->setSelected(true);
    QTest::keyClick(&dialog, Qt::Key_Delete);
    EXPECT_EQ(Rows(), QStringList({"/b", "/dir"}));
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivAdd::mrOK);
    EXPECT_EQ(dialog.Files(), QStringList({"/b", "/dir"}));

    dialog.show();
    Activate();
    choosers->files.push_back(QStringList{"/c"});
    dialog.findChild<QToolButton*>("spbAddFile")->click();
    EXPECT_EQ(Rows(), QStringList({"/c"}));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.ModalResult(), TfrmArchivAdd::mrCancel);
}

TEST_F(ArchivAddTest, FailureIsRegisteredWithTheHandlersContext) {
    AddFiles({"/a"});
    choosers->failNext = true;
    dialog.spbAddFileClick();
    ASSERT_EQ(tavik::TavikInfo().PendingFailures().size(), 1u);
    EXPECT_EQ(tavik::TavikInfo().PendingFailures()[0].Context, "TfrmArchivAdd.spbAddFileClick");
    EXPECT_EQ(Rows(), QStringList({"/a"}));
    EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
