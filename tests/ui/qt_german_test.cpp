// Qt's own dialogs and menus in German, as start-up makes them, and the directory choosers of
// the workbench on the real Qt dialog: a new directory typed in, the button for a new folder.
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "host/widgets/choosers.h"
#include "host/widgets/directory_dialog.h"
#include "host/widgets/file_dialog_locale.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/support/modal_driver.h"
#include "tests/ui/support/workbench_fixture.h"
#include "ui/qt_german.h"

namespace uitest {
namespace {

namespace fs = std::filesystem;
using namespace tavik;

QString LabelText(QWidget& dialog, const char* name) {
    auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<kein %1>").arg(QString::fromLatin1(name));
}

QPushButton* Button(QWidget& dialog, QDialogButtonBox::StandardButton which) {
    auto* box = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    return box ? box->button(which) : nullptr;
}

// Types the path into the dialog's name field as a user does and presses its accept button
// (from the event loop, so that a question it asks is driven too).
ModalDriver::Step TypeAndAccept(const QString& path, bool* acceptEnabled = nullptr) {
    return [path, acceptEnabled](QWidget& modal) {
        auto* dialog = qobject_cast<QFileDialog*>(&modal);
        if (!dialog) return false;
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QPushButton* accept = Button(*dialog, QDialogButtonBox::Open);
        EXPECT_TRUE(edit && accept);
        if (!edit || !accept) return false;
        edit->setFocus();
        edit->setText(path);
        if (acceptEnabled) *acceptEnabled = accept->isEnabled();
        // A disabled button takes no click; the dialog's own accept is what Enter would reach.
        if (accept->isEnabled())
            ModalDriver::Later(accept, [accept] { accept->click(); });
        else
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return true;
    };
}

ModalDriver::Step Answer(QMessageBox::StandardButton which, QString* text = nullptr) {
    return [which, text](QWidget& modal) {
        auto* box = qobject_cast<QMessageBox*>(&modal);
        if (!box) return false;
        // Another box than the one expected: left for the driver to report and close.
        QAbstractButton* button = box->button(which);
        if (!button) return false;
        if (text) *text = box->text();
        ModalDriver::Later(button, [button] { button->click(); });
        return true;
    };
}

ModalDriver::Step Cancel() {
    return [](QWidget& modal) {
        auto* dialog = qobject_cast<QFileDialog*>(&modal);
        if (!dialog) return false;
        ModalDriver::Later(dialog, [dialog] { dialog->reject(); });
        return true;
    };
}

TEST(QtGerman, TheFileDialogSpeaksGermanAndIsQtsOwn) {
    testsupport::TempDir scratch;
    testsupport::WriteFile(scratch / "beleg.dat", "x");
    ModalDriver driver;
    QStringList texts;
    bool native = true;
    QStringList columns;
    QString sizeText, dateText, expectedDate;
    driver.Then([&](QWidget& modal) {
        auto* dialog = qobject_cast<QFileDialog*>(&modal);
        if (!dialog) return false;
        // The folder is read in the background: wait until the file is known.
        auto* files = dialog->findChild<QFileSystemModel*>();
        if (files && !files->lastModified(files->index(QString::fromStdString((scratch / "beleg.dat").string()))).isValid())
            return false;
        native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
        texts << LabelText(*dialog, "lookInLabel") << LabelText(*dialog, "fileNameLabel")
              << LabelText(*dialog, "fileTypeLabel");
        QPushButton* open = Button(*dialog, QDialogButtonBox::Open);
        QPushButton* cancel = Button(*dialog, QDialogButtonBox::Cancel);
        texts << (open ? open->text() : QString()) << (cancel ? cancel->text() : QString());
        if (auto* model = dialog->findChild<QFileSystemModel*>())
            for (int column = 0; column < model->columnCount(); ++column)
                columns << model->headerData(column, Qt::Horizontal).toString();
        // Size and date of a file in the program's locale, whatever the machine's is.
        auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        auto* model = dialog->findChild<QFileSystemModel*>();
        if (view && model) {
            const QModelIndex file = model->index(QString::fromStdString((scratch / "beleg.dat").string()));
            auto* delegate = qobject_cast<TFileDialogLocaleDelegate*>(view->itemDelegateForIndex(file));
            if (delegate) {
                sizeText = delegate->DisplayedText(file.siblingAtColumn(1));
                dateText = delegate->DisplayedText(file.siblingAtColumn(3));
                expectedDate = QLocale(QLocale::German, QLocale::Germany)
                                   .toString(model->lastModified(file), QLocale::ShortFormat);
            }
        }
        // With VENDRASK_SCREENSHOT_DIR the dialog is also saved as a picture (for the README).
        if (const char* directory = std::getenv("VENDRASK_SCREENSHOT_DIR")) {
            dialog->setViewMode(QFileDialog::Detail);
            QTest::qWait(200);  // the folder is read in the background; only the picture waits for it
            EXPECT_TRUE(dialog->grab().save(QDir(QString::fromLocal8Bit(directory)).filePath("file-dialog.png")));
        }
        ModalDriver::Later(dialog, [dialog] { dialog->reject(); });
        return true;
    });
    const auto chosen = NewQtChoosers()->OpenFile(nullptr, QStringLiteral("Archivdatei auswählen"),
                                                  vendrask::TfrmVendrask::OpenDialogFilter(),
                                                  QString::fromStdString(scratch.str()));
    EXPECT_FALSE(chosen.has_value());
    EXPECT_TRUE(driver.Done());
    EXPECT_FALSE(native);
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Suchen in:"), QStringLiteral("Datei&name:"),
                                  QStringLiteral("Dateien des Typs:"), QStringLiteral("&Öffnen"), QStringLiteral("Abbrechen")}));
    EXPECT_EQ(sizeText, QStringLiteral("1 Byte")) << sizeText.toStdString();
    EXPECT_FALSE(dateText.isEmpty());
    EXPECT_EQ(dateText, expectedDate);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d$")).match(dateText).hasMatch())
        << dateText.toStdString();
    EXPECT_EQ(columns, (QStringList{QStringLiteral("Name"), QStringLiteral("Größe"), QStringLiteral("Typ"),
                                    QStringLiteral("Änderungsdatum")}));
}

TEST(QtGerman, TheFileDialogsSizeAndTypeColumnsShowTheirTextsWhole) {
    testsupport::TempDir scratch;
    testsupport::WriteFile(scratch / "SK261207.001.zip", std::string(1'704'321, 'x'));
    testsupport::WriteFile(scratch / "beleg.dat", "x");
    ModalDriver driver;
    int checked = 0;
    driver.Then([&](QWidget& modal) {
        auto* dialog = qobject_cast<QFileDialog*>(&modal);
        if (!dialog) return false;
        auto* files = dialog->findChild<QFileSystemModel*>();
        auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        if (!files || !view) return false;
        const QModelIndex big = files->index(QString::fromStdString((scratch / "SK261207.001.zip").string()));
        if (!files->lastModified(big).isValid() || files->size(big) == 0) return false;  // still reading
        dialog->setViewMode(QFileDialog::Detail);
        // Every visible row's size, type and date fit their columns: nothing is elided.
        QHeaderView* header = view->header();
        for (int column = 1; column <= 3; ++column) {
            const int needed = static_cast<QAbstractItemView*>(view)->sizeHintForColumn(column);
            EXPECT_GE(header->sectionSize(column), needed) << "column " << column;
            EXPECT_GT(needed, 0);
            ++checked;
        }
        // The name column takes the rest and is not squeezed below its own caption.
        EXPECT_GE(header->sectionSize(0), 200);
        ModalDriver::Later(dialog, [dialog] { dialog->reject(); });
        return true;
    });
    NewQtChoosers()->OpenFile(nullptr, QStringLiteral("Archivdatei auswählen"), vendrask::TfrmVendrask::OpenDialogFilter(),
                              QString::fromStdString(scratch.str()));
    EXPECT_TRUE(driver.Done());
    EXPECT_EQ(checked, 3);
}

TEST(QtGerman, BothFileDialogsOfferAllFilesUnderOneName) {
    ModalDriver driver;
    QStringList openFilters, addFilters;
    const auto record = [](QStringList& filters) {
        return [&filters](QWidget& modal) {
            auto* dialog = qobject_cast<QFileDialog*>(&modal);
            if (!dialog) return false;
            filters = dialog->nameFilters();
            ModalDriver::Later(dialog, [dialog] { dialog->reject(); });
            return true;
        };
    };
    driver.Then(record(openFilters));
    driver.Then(record(addFilters));
    NewQtChoosers()->OpenFile(nullptr, QStringLiteral("Archivdatei auswählen ..."),
                              vendrask::TfrmVendrask::OpenDialogFilter(), QString());
    NewQtChoosers()->OpenFiles(nullptr, QStringLiteral("Auswahl Dateien ..."));
    EXPECT_TRUE(driver.Done());
    EXPECT_EQ(openFilters, (QStringList{QStringLiteral("Alle Dateien (*)"), QStringLiteral("Archivdateien (*.sar *.zip)")}));
    EXPECT_EQ(addFilters, QStringList{QStringLiteral("Alle Dateien (*)")});
}

TEST(QtGerman, TheEditsMenuAndTheLocaleAreGerman) {
    QLineEdit edit(QStringLiteral("ARCHIV"));
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList entries;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) entries << action->text().section(QLatin1Char('\t'), 0, 0);
    EXPECT_TRUE(entries.contains(QStringLiteral("Alles auswählen"))) << entries.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(entries.contains(QStringLiteral("&Kopieren"))) << entries.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(QLocale().name(), QStringLiteral("de_DE"));
    EXPECT_EQ(QLocale().toString(1234.5, 'f', 1), QStringLiteral("1.234,5"));
}

TEST(QtGerman, AMissingTranslationStopsNothingAndSaysNothing) {
    testsupport::TempDir empty;
    const auto translator = vendrask::InstallGermanQtTexts(QString::fromStdString(empty.str()));
    EXPECT_EQ(translator, nullptr);
    // The translation installed at start-up is still in place.
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Suchen in:"));
    EXPECT_EQ(QLocale().name(), QStringLiteral("de_DE"));
}

// The workbench with the real directory chooser; every other dialog is answered from the script.
class RealDirectoryChoosers : public WorkbenchChoosers {
public:
    std::optional<QString> SelectDirectory(QWidget* parent, const TDirectoryChooserOptions& options) override {
        directoryRequests.push_back(options);
        return FReal->SelectDirectory(parent, options);
    }

private:
    std::shared_ptr<TChoosers> FReal = NewQtChoosers();
};

class WorkbenchRealChooser : public WorkbenchTest {
protected:
    void SetUp() override { choosers = std::make_shared<RealDirectoryChoosers>(); }

    // An archive of two entries, opened, with the first one ticked.
    void OpenWithFirstTicked() {
        const std::string archive = MakeZip(Scratch("auswahl.zip"), {{"a.txt", "alpha"}, {"b.txt", "bravo"}});
        Open();
        ChooseArchive(archive);
        TVTVRList& view = *window->vrtArchivInhalt;
        ASSERT_EQ(view.RootNodeCount(), 2);
        view.SetCheckState(view.NodeAtPosition(0), csCheckedNormal);
    }
};

TEST_F(WorkbenchRealChooser, ATypedNewDirectoryIsCreatedAfterTheQuestionAndReceivesTheTickedEntries) {
    OpenWithFirstTicked();
    const std::string target = Scratch("ziel/neu/tief");
    ModalDriver driver;
    bool acceptEnabled = false;
    QString question;
    driver.Then(TypeAndAccept(QString::fromStdString(target), &acceptEnabled));
    driver.Then(Answer(QMessageBox::Yes, &question));
    window->spbDecompressSel->click();

    EXPECT_TRUE(driver.Done());
    EXPECT_TRUE(acceptEnabled);
    EXPECT_TRUE(question.contains(QString::fromStdString(target))) << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("Soll es angelegt werden?")));
    EXPECT_EQ(testsupport::ReadFile(fs::path(target) / "a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(fs::path(target) / "b.txt"));
    EXPECT_EQ(log.notices, (std::vector<std::string>{"Daten wurden erfolgreich entpackt."}));
    EXPECT_TRUE(log.failures.empty());
}

TEST_F(WorkbenchRealChooser, AnsweringNoKeepsTheDialogOpenAndCreatesNothing) {
    OpenWithFirstTicked();
    const std::string target = Scratch("nicht-anlegen");
    ModalDriver driver;
    bool stillOpen = false;
    driver.Then(TypeAndAccept(QString::fromStdString(target)));
    driver.Then(Answer(QMessageBox::No));
    driver.Then([&](QWidget& modal) {
        auto* dialog = qobject_cast<QFileDialog*>(&modal);
        if (!dialog) return false;
        stillOpen = dialog->isVisible();
        return Cancel()(modal);
    });
    window->spbDecompressSel->click();

    EXPECT_TRUE(driver.Done());
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(log.notices.empty());
    EXPECT_TRUE(log.failures.empty());
    EXPECT_FALSE(window->spbAbortOperation->isVisible());
}

TEST_F(WorkbenchRealChooser, TheNewFolderButtonOfTheSelectedExtractionCreatesAFolder) {
    OpenWithFirstTicked();
    const fs::path place = scratch / "ablage";
    fs::create_directories(place);
    ModalDriver driver;
    bool usable = false;
    driver.Then([&](QWidget& modal) {
        auto* dialog = qobject_cast<QFileDialog*>(&modal);
        if (!dialog) return false;
        dialog->setDirectory(QString::fromStdString(place.string()));
        auto* newFolder = dialog->findChild<QToolButton*>(QStringLiteral("newFolderButton"));
        usable = newFolder && newFolder->isVisible() && newFolder->isEnabled();
        if (newFolder) newFolder->click();
        return Cancel()(modal);
    });
    window->spbDecompressSel->click();

    EXPECT_TRUE(driver.Done());
    EXPECT_TRUE(usable);
    EXPECT_TRUE(fs::is_directory(place / "Neues Verzeichnis"));
    EXPECT_TRUE(log.notices.empty());
}

// Each directory chooser of the window and its dialogs, reached as the user reaches it; the
// workbench has an archive of two entries open, the first one ticked.
struct TChooserCase {
    const char* Name;
    const char* Caption;
    // Starts what opens the chooser; the step before it answers the chooser.
    std::function<void(WorkbenchTest&, vendrask::TfrmVendrask&, WorkbenchChoosers&)> Open;
};

class EveryChooser : public WorkbenchRealChooser, public testing::WithParamInterface<TChooserCase> {};

TEST_P(EveryChooser, TakesATypedNewPathAfterTheQuestionAndHasAWorkingNewFolderButton) {
    OpenWithFirstTicked();
    // First showing: the new-folder button makes a folder where the dialog stands.
    const fs::path place = scratch / (std::string("ablage-") + GetParam().Name);
    fs::create_directories(place);
    QString caption;
    bool newFolderUsable = false;
    {
        ModalDriver driver;
        driver.Then([&](QWidget& modal) {
            auto* dialog = qobject_cast<QFileDialog*>(&modal);
            if (!dialog) return false;
            caption = dialog->windowTitle();
            dialog->setDirectory(QString::fromStdString(place.string()));
            auto* newFolder = dialog->findChild<QToolButton*>(QStringLiteral("newFolderButton"));
            newFolderUsable = newFolder && newFolder->isVisible() && newFolder->isEnabled();
            if (newFolder) newFolder->click();
            return Cancel()(modal);
        });
        GetParam().Open(*this, *window, *choosers);
        EXPECT_TRUE(driver.Done());
    }
    EXPECT_EQ(caption.toStdString(), GetParam().Caption);
    EXPECT_TRUE(newFolderUsable);
    EXPECT_TRUE(fs::is_directory(place / "Neues Verzeichnis"));

    // Second showing: a typed path that does not exist is asked about and created.
    const std::string target = Scratch(std::string("neu-") + GetParam().Name + "/tief");
    QString question;
    {
        ModalDriver driver;
        driver.Then(TypeAndAccept(QString::fromStdString(target)));
        driver.Then(Answer(QMessageBox::Yes, &question));
        GetParam().Open(*this, *window, *choosers);
        EXPECT_TRUE(driver.Done());
    }
    EXPECT_TRUE(question.contains(QString::fromStdString(target))) << question.toStdString();
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
}

const TChooserCase kChooserCases[] = {
    {"Entpacken", "Zielverzeichnis zum entpacken ...",
     [](WorkbenchTest&, vendrask::TfrmVendrask& window, WorkbenchChoosers&) { window.spbDecompressAll->click(); }},
    {"Zusammenfuegen", "Auswahl Verzeichnis ...",
     [](WorkbenchTest&, vendrask::TfrmVendrask& window, WorkbenchChoosers&) { window.spbMerge->click(); }},
    {"Aufteilen", "Auswahl Verzeichnis ...",
     [](WorkbenchTest&, vendrask::TfrmVendrask& window, WorkbenchChoosers& choosers) {
         choosers.modalAnswers.push_back([](QDialog& dialog) {
             auto& span = dynamic_cast<vendrask::TfrmArchivSpan&>(dialog);
             span.spbTargetClick();
             return 2;
         });
         window.spbSpan->click();
     }},
    {"Verzeichnis_hinzufuegen", "Auswahl Verzeichnis ...",
     [](WorkbenchTest&, vendrask::TfrmVendrask& window, WorkbenchChoosers& choosers) {
         choosers.modalAnswers.push_back([](QDialog& dialog) {
             auto& add = dynamic_cast<vendrask::TfrmArchivAdd&>(dialog);
             add.spbAddFolderClick();
             return 2;
         });
         window.spbCompressAdd->click();
     }},
};

INSTANTIATE_TEST_SUITE_P(QtGerman, EveryChooser, testing::ValuesIn(kChooserCases),
                         [](const testing::TestParamInfo<TChooserCase>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace uitest
