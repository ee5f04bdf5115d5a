#include "tests/ui/support/window_fixture.h"

#include <QLabel>
#include <QStyle>
#include <QTest>

#include <filesystem>

#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "host/widgets/qt_frontend.h"

namespace uitest {

namespace fs = std::filesystem;
using namespace tavik;

std::optional<QString> WindowChoosers::OpenFile(QWidget*, const QString& title, const QString&, const QString&) {
    fileTitles.push_back(title);
    if (files.empty()) {
        ADD_FAILURE() << "no file dialog expected";
        return std::nullopt;
    }
    const bool given = files.front().has_value();
    const QString answer = given ? *files.front() : QString();
    files.pop_front();
    if (!given) return std::nullopt;
    return answer;
}

std::optional<QStringList> WindowChoosers::OpenFiles(QWidget*, const QString&) {
    ADD_FAILURE() << "no file dialog expected";
    return std::nullopt;
}

std::optional<QString> WindowChoosers::SelectDirectory(QWidget*, const TDirectoryChooserOptions&) {
    ADD_FAILURE() << "no directory dialog expected";
    return std::nullopt;
}

int WindowChoosers::ExecModal(QDialog& dialog) {
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) modalTexts.push_back(box->text());
    if (modalAnswers.empty()) {
        dialog.done(QDialog::Rejected);
        return 2;
    }
    auto answer = modalAnswers.front();
    modalAnswers.pop_front();
    return answer(dialog);
}

void WindowTest::TearDown() {
    window.reset();
    module.reset();
}

void WindowTest::Start() {
    TavikProgramm().Init("VENDRASK", TEnumProzessTypen::ptDialog, TPVR_InstanceCount::icAny, 0, true);
    module = std::make_unique<vendrask::TdmOlvexArchiv>(TParameters{"vendrask"});
    window = std::make_unique<vendrask::TfrmVendrask>(choosers);
    if (auto* frontend = dynamic_cast<TQtFrontend*>(&TavikProgramm().Frontend())) frontend->SetOwner(window.get());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
}

void WindowTest::Open() {
    host.Activate();
    TavikProgramm().SetFrontend(std::make_unique<testsupport::RecordingFrontend>(log));
    Start();
}

void WindowTest::OpenWithQtFrontend() {
    host.Activate();
    TavikProgramm().SetFrontend(std::make_unique<TQtFrontend>(choosers));
    Start();
}

std::string WindowTest::Text(const char* objectName) const {
    if (auto* label = window->findChild<QLabel*>(QString::fromLatin1(objectName))) return label->text().toStdString();
    ADD_FAILURE() << "no label " << objectName;
    return {};
}

PVirtualNode WindowTest::NodeNamed(TVTVRList& view, const std::string& suffix) const {
    for (PVirtualNode node = view.GetFirst(); node; node = view.GetNext(node)) {
        const std::string name = view.GetCellText(node, 0);
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            return node;
    }
    ADD_FAILURE() << "no node named " << suffix;
    return nullptr;
}

void WindowTest::Click(TVTVRList& view, PVirtualNode node) const {
    ASSERT_NE(node, nullptr);
    view.scrollTo(view.IndexOfNode(node));
    const QRect cell = view.visualRect(view.IndexOfNode(node));
    ASSERT_TRUE(cell.isValid());
    // The check box sits at the left of the first column.
    const QPoint box(cell.left() + view.style()->pixelMetric(QStyle::PM_IndicatorWidth) / 2 + 4, cell.center().y());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, box);
}

std::vector<std::string> WindowTest::ArchivesIn(const std::string& relativeDir) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(host.Root()) / relativeDir))
        if (entry.path().filename().string().rfind("SK", 0) == 0) names.push_back(entry.path().string());
    return names;
}

}  // namespace uitest
