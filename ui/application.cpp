#include "ui/application.h"

#include <QApplication>
#include <QTranslator>

#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "host/widgets/qt_frontend.h"
#include "ui/archivadddlg.h"
#include "ui/archivspandlg.h"
#include "ui/qt_german.h"
#include "ui/vendrasku.h"

namespace vendrask {

using namespace tavik;

TfrmArchivAdd* frmArchivAdd = nullptr;
TfrmArchivSpan* frmArchivSpan = nullptr;

namespace {

bool Set(const char* variable) { return !qEnvironmentVariableIsEmpty(variable); }

void RaiseCreationErrors() { TavikInfo().FehlerRaise("vendrask", 0, "", "", 0, 0); }

}  // namespace

bool TApplication::DisplayAvailable() {
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM").section(QLatin1Char(':'), 0, 0);
    // Qt ends the process when its platform cannot connect; only the ones that need a display
    // server are checked here.
    if (platform.isEmpty()) return Set("DISPLAY") || Set("WAYLAND_DISPLAY");
    if (platform == QLatin1String("xcb")) return Set("DISPLAY");
    if (platform.startsWith(QLatin1String("wayland"))) return Set("WAYLAND_DISPLAY");
    return true;
}

std::unique_ptr<TApplication> TApplication::Create(const TParameters& parameters) {
    if (!DisplayAvailable() || QCoreApplication::instance()) return nullptr;
    return std::unique_ptr<TApplication>(new TApplication(parameters));
}

TApplication::TApplication(const TParameters& parameters) : FArguments(parameters) {
    if (FArguments.empty()) FArguments.emplace_back("vendrask");
    for (std::string& argument : FArguments) FArgv.push_back(argument.data());
    FArgv.push_back(nullptr);
    FArgc = static_cast<int>(FArguments.size());
    FApp = std::make_unique<QApplication>(FArgc, FArgv.data());
    QApplication::setApplicationName(QStringLiteral("Archivverwaltung"));
    FQtTexts = InstallGermanQtTexts();

    FChoosers = NewQtChoosers();
    auto frontend = std::make_unique<TQtFrontend>(FChoosers);
    FFrontend = frontend.get();
    FPreviousFrontend = TavikProgramm().SetFrontend(std::move(frontend));
}

TApplication::~TApplication() {
    FArchivSpan.reset();
    frmArchivSpan = nullptr;
    FArchivAdd.reset();
    frmArchivAdd = nullptr;
    FMainWindow.reset();
    // The windows' front end holds windows of its own; they go before Qt's application.
    TavikProgramm().SetFrontend(std::move(FPreviousFrontend));
    FFrontend = nullptr;
    FQtTexts.reset();
    FApp.reset();
}

void TApplication::CreateWindows() {
    FMainWindow = std::make_unique<TfrmVendrask>(FChoosers);
    FFrontend->SetOwner(FMainWindow.get());
    RaiseCreationErrors();

    FArchivAdd = std::make_unique<TfrmArchivAdd>(FMainWindow.get());
    FArchivAdd->SetChoosers(FChoosers);
    frmArchivAdd = FArchivAdd.get();
    RaiseCreationErrors();

    FArchivSpan = std::make_unique<TfrmArchivSpan>(FMainWindow.get());
    FArchivSpan->SetChoosers(FChoosers);
    frmArchivSpan = FArchivSpan.get();
    RaiseCreationErrors();
}

int TApplication::Exec() {
    if (!FMainWindow) return 0;
    FMainWindow->show();
    return QApplication::exec();
}

}  // namespace vendrask
