#include "tests/ui/support/workbench_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <sstream>

#include "host/services/tavik_programm.h"
#include "tests/support/run_process.h"
#include "ui/application.h"

namespace uitest {

using namespace tavik;
using testsupport::RunProcess;

namespace {

template <class T>
std::optional<T> Next(std::deque<std::optional<T>>& answers) {
    if (answers.empty()) return std::nullopt;
    const bool given = answers.front().has_value();
    T value = given ? *answers.front() : T();
    answers.pop_front();
    if (!given) return std::nullopt;
    return value;
}

}  // namespace

std::optional<QString> WorkbenchChoosers::OpenFile(QWidget*, const QString& title, const QString& filter,
                                                   const QString& initialDir) {
    fileRequests.push_back({title, filter, initialDir});
    return Next(files);
}

std::optional<QStringList> WorkbenchChoosers::OpenFiles(QWidget*, const QString&) { return Next(fileLists); }

std::optional<QString> WorkbenchChoosers::SelectDirectory(QWidget*, const TDirectoryChooserOptions& options) {
    directoryRequests.push_back(options);
    return Next(directories);
}

int WorkbenchChoosers::ExecModal(QDialog& dialog) {
    modalShown.push_back(dialog.objectName());
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) modalTexts.push_back(box->text());
    if (modalAnswers.empty()) return 2;
    auto answer = modalAnswers.front();
    modalAnswers.pop_front();
    return answer(dialog);
}

void WorkbenchTest::TearDown() {
    vendrask::frmArchivAdd = nullptr;
    vendrask::frmArchivSpan = nullptr;
    window.reset();
    module.reset();
}

void WorkbenchTest::Open() {
    host.Activate();
    TavikProgramm().SetFrontend(std::make_unique<testsupport::RecordingFrontend>(log));
    TavikProgramm().Init("VENDRASK", TEnumProzessTypen::ptDialog, TPVR_InstanceCount::icAny, 0, true);
    module = std::make_unique<vendrask::TdmOlvexArchiv>(TParameters{"vendrask"});
    window = std::make_unique<vendrask::TfrmVendrask>(choosers);
    addDialog = new vendrask::TfrmArchivAdd(window.get());
    addDialog->SetChoosers(choosers);
    spanDialog = new vendrask::TfrmArchivSpan(window.get());
    spanDialog->SetChoosers(choosers);
    vendrask::frmArchivAdd = addDialog;
    vendrask::frmArchivSpan = spanDialog;
    window->pgcAnsicht->setCurrentWidget(window->tshArchivVerwaltung);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
}

void WorkbenchTest::Write(const std::string& name, const std::string& content) const {
    testsupport::WriteFile(scratch / name, content);
}

std::string WorkbenchTest::MakeZip(const std::string& archive, const std::map<std::string, std::string>& files,
                                   bool stored) {
    const std::string source = Scratch("quelle-" + std::to_string(std::hash<std::string>{}(archive)));
    std::vector<std::string> argv{"zip", "-q", "-X"};
    if (stored) argv.push_back("-0");
    argv.push_back(archive);
    for (const auto& [name, content] : files) {
        testsupport::WriteFile(std::filesystem::path(source) / name, content);
        argv.push_back(name);
    }
    testsupport::ProcessOptions options;
    options.workDir = source;
    const auto made = RunProcess(argv, options);
    EXPECT_EQ(made.status, 0) << made.err;
    return archive;
}

void WorkbenchTest::ChooseArchive(const std::string& path) {
    choosers->files.push_back(QString::fromStdString(path));
    window->spbOpenFiles->click();
}

std::function<int(QDialog&)> WorkbenchTest::AddFiles(const QStringList& paths) {
    return [this, paths](QDialog& dialog) {
        auto& add = dynamic_cast<vendrask::TfrmArchivAdd&>(dialog);
        add.show();
        choosers->fileLists.push_front(paths);
        add.spbAddFileClick();
        add.spbOKClick();
        return add.ModalResult();
    };
}

std::function<int(QDialog&)> WorkbenchTest::SpanWith(double megabytes, const QString& targetDir) {
    return [this, megabytes, targetDir](QDialog& dialog) {
        auto& span = dynamic_cast<vendrask::TfrmArchivSpan&>(dialog);
        span.show();
        auto* target = span.findChild<QLabel*>(QStringLiteral("lblTarget"));
        auto* automatic = span.findChild<QRadioButton*>(QStringLiteral("rbtAuto"));
        spanPresets.push_back({target ? target->text() : QString(), automatic && automatic->isChecked()});
        if (!targetDir.isEmpty() && target) target->setText(targetDir);
        if (megabytes > 0) {
            span.findChild<QRadioButton*>(QStringLiteral("rbtUserdefined"))->setChecked(true);
            span.findChild<QLineEdit*>(QStringLiteral("edtUserdefined"))
                ->setText(QString::number(megabytes).replace(QLatin1Char('.'), QLatin1Char(',')));
        }
        span.spbOKClick();
        return span.ModalResult();
    };
}

std::vector<std::string> WorkbenchTest::Rows() const {
    std::vector<std::string> rows;
    tavik::TVTVRList& view = *window->vrtArchivInhalt;
    for (PVirtualNode node = view.GetFirst(); node; node = view.GetNext(node)) rows.push_back(view.GetCellText(node, 0));
    return rows;
}

std::string WorkbenchTest::Text(const char* label) const {
    if (auto* found = window->findChild<QLabel*>(QString::fromLatin1(label))) return found->text().toStdString();
    ADD_FAILURE() << "no label " << label;
    return {};
}

bool WorkbenchTest::UnzipTest(const std::string& archive) {
    const auto result = RunProcess({"unzip", "-t", "-q", archive});
    if (result.status != 0) ADD_FAILURE() << result.out << result.err;
    return result.status == 0;
}

bool WorkbenchTest::SevenZipTest(const std::string& archive) {
    const auto result = RunProcess({"7zz", "t", archive});
    if (result.status != 0) ADD_FAILURE() << result.out << result.err;
    return result.status == 0;
}

std::vector<std::string> WorkbenchTest::UnzipNames(const std::string& archive) {
    const auto result = RunProcess({"unzip", "-Z1", archive});
    std::vector<std::string> names;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) names.push_back(line);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace uitest
