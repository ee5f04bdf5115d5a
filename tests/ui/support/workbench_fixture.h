#pragma once
// The workbench page on a real host installation: program object with a recording front end,
// task module, main window and the two dialogs, as start-up creates them. Every file dialog,
// directory chooser and modal dialog is answered from a script.
#include <QDialog>
#include <QStringList>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/widgets/choosers.h"
#include "task/dmarchivu.h"
#include "tests/support/host_fixture.h"
#include "tests/support/recording_frontend.h"
#include "tests/support/temp_dir.h"
#include "ui/archivadddlg.h"
#include "ui/archivspandlg.h"
#include "ui/vendrasku.h"

namespace uitest {

class WorkbenchChoosers : public tavik::TChoosers {
public:
    struct FileRequest {
        QString Title, Filter, InitialDir;
    };
    std::optional<QString> OpenFile(QWidget*, const QString& title, const QString& filter,
                                    const QString& initialDir) override;
    std::optional<QStringList> OpenFiles(QWidget*, const QString&) override;
    std::optional<QString> SelectDirectory(QWidget*, const tavik::TDirectoryChooserOptions& options) override;
    // Without an answer left the dialog counts as cancelled.
    int ExecModal(QDialog& dialog) override;

    // Answers in order; none left: cancelled.
    std::deque<std::optional<QString>> files;
    std::deque<std::optional<QStringList>> fileLists;
    std::deque<std::optional<QString>> directories;
    std::deque<std::function<int(QDialog&)>> modalAnswers;

    std::vector<FileRequest> fileRequests;
    std::vector<tavik::TDirectoryChooserOptions> directoryRequests;
    std::vector<QString> modalShown;  // object names of the dialogs shown
    std::vector<QString> modalTexts;  // the texts of the message boxes among them
};

class WorkbenchTest : public testing::Test {
protected:
    void TearDown() override;

    // Starts everything; the workbench page is in front.
    void Open();

    // A ZIP archive made by Info-ZIP's zip from the files (name -> content), stored when told.
    std::string MakeZip(const std::string& archive, const std::map<std::string, std::string>& files,
                        bool stored = false);
    // A file of the scratch directory.
    std::string Scratch(const std::string& name) const { return (scratch / name).string(); }
    void Write(const std::string& name, const std::string& content) const;

    // Chooses an archive with the open command, answering its file dialog with the path.
    void ChooseArchive(const std::string& path);
    // An answer for the add-files dialog: lists the paths and presses OK.
    std::function<int(QDialog&)> AddFiles(const QStringList& paths);
    // An answer for the span dialog: the preset is recorded; megabytes > 0 chooses that size.
    std::function<int(QDialog&)> SpanWith(double megabytes, const QString& targetDir = {});

    std::vector<std::string> Rows() const;  // the "Name" cells in display order
    std::string Text(const char* label) const;

    // Info-ZIP's and 7-Zip's tests of an archive.
    static bool UnzipTest(const std::string& archive);
    static bool SevenZipTest(const std::string& archive);
    // The entry names Info-ZIP lists, sorted.
    static std::vector<std::string> UnzipNames(const std::string& archive);

    testsupport::HostFixture host;
    testsupport::TempDir scratch;
    testsupport::FrontendLog log;
    std::shared_ptr<WorkbenchChoosers> choosers = std::make_shared<WorkbenchChoosers>();
    std::unique_ptr<vendrask::TdmOlvexArchiv> module;
    std::unique_ptr<vendrask::TfrmVendrask> window;
    vendrask::TfrmArchivAdd* addDialog = nullptr;    // owned by the window
    vendrask::TfrmArchivSpan* spanDialog = nullptr;  // owned by the window

    struct SpanPreset {
        QString TargetDir;
        bool Automatic = false;
    };
    std::vector<SpanPreset> spanPresets;
};

}  // namespace uitest
