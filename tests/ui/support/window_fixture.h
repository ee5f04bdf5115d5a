#pragma once
// The main window on a real host installation, as start-up creates it: program object,
// task module, window. Files are laid out first, then Open() starts everything.
#include <QDialog>
#include <QMessageBox>
#include <gtest/gtest.h>

#include <ctime>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/widgets/choosers.h"
#include "task/dmarchivu.h"
#include "tests/support/host_fixture.h"
#include "tests/support/recording_frontend.h"
#include "ui/vendrasku.h"

namespace uitest {

constexpr std::time_t kLongAgo = 1'000'000'000;  // 2001

// Answers the windows' dialogs from a script; a modal dialog is answered by a function.
class WindowChoosers : public tavik::TChoosers {
public:
    std::optional<QString> OpenFile(QWidget*, const QString&, const QString&, const QString&) override;
    std::optional<QStringList> OpenFiles(QWidget*, const QString&) override;
    std::optional<QString> SelectDirectory(QWidget*, const tavik::TDirectoryChooserOptions&) override;
    int ExecModal(QDialog& dialog) override;

    // Answers to file dialogs in order; a file dialog without one left is a failure.
    std::deque<std::optional<QString>> files;
    std::vector<QString> fileTitles;
    // Each modal dialog shown goes to the next answer; none left: it is cancelled.
    std::deque<std::function<int(QDialog&)>> modalAnswers;
    std::vector<QString> modalTexts;
};

class WindowTest : public testing::Test {
protected:
    void TearDown() override;

    // Starts the program object with a recording front end, the task module and the window.
    void Open();
    // The same with the windows' own front end.
    void OpenWithQtFrontend();

    std::string Text(const char* objectName) const;
    tavik::TVTVRList& ArchView() const { return *window->vrtSystemArch; }
    tavik::TVTVRList& DelView() const { return *window->vrtSystemDel; }
    // The node of the view whose "Name" cell ends with the text.
    tavik::PVirtualNode NodeNamed(tavik::TVTVRList& view, const std::string& suffix) const;
    // Ticks or unticks a node's check box as a click does.
    void Click(tavik::TVTVRList& view, tavik::PVirtualNode node) const;
    std::vector<std::string> ArchivesIn(const std::string& relativeDir) const;

    testsupport::HostFixture host;
    testsupport::FrontendLog log;
    std::shared_ptr<WindowChoosers> choosers = std::make_shared<WindowChoosers>();
    std::unique_ptr<vendrask::TdmOlvexArchiv> module;
    std::unique_ptr<vendrask::TfrmVendrask> window;

private:
    void Start();
};

}  // namespace uitest
