#include "ui/workbench_command.h"

#include <QToolButton>

#include "host/services/tavik_info.h"
#include "task/dmarchivu.h"
#include "ui/workbench_support.h"
#include "ui/password_dialog.h"
#include "ui/vendrasku.h"

namespace vendrask {

using namespace tavik;

TWorkbenchCommand::TWorkbenchCommand(TfrmVendrask& window, TArchivFormatAbstract& archiv, bool itemStart)
    : FWindow(window), FArchiv(archiv), FItemStart(itemStart) {
    FWindow.FCommandRunning = true;
    FWindow.spbAbortOperation->setVisible(true);
    FArchiv.OnCommandEnd = [&window](TArchivFormatAbstract& sender, TArchivCommand command) {
        window.ArchivCommandEnd(sender, command);
    };
    FArchiv.OnCommandProgress = [&window](TArchivFormatAbstract& sender, TArchivCommand command, std::int64_t done,
                                          std::int64_t total) { window.ArchivTotalProgress(sender, command, done, total); };
    FArchiv.OnCommandItemProgress = [&window](TArchivFormatAbstract& sender, TArchivCommand command,
                                              PFileInfoItem entry, std::int64_t done, std::int64_t total) {
        window.ArchivFileProgress(sender, command, entry, done, total);
    };
    FPreviousOnError = FArchiv.OnError;
    FArchiv.OnError = [this](TArchivFormatAbstract& sender, TArchivCommand command, TArchivErrorKind kind,
                             const std::string& item, const std::string& reason, bool& skip) {
        if (FPreviousOnError) FPreviousOnError(sender, command, kind, item, reason, skip);
        if (kind != TArchivErrorKind::Item) return;
        skip = true;
        FItemFailures.push_back("„" + item + "“: " + reason);
    };
    FArchiv.OnPassword = [&window](TArchivFormatAbstract& sender, std::string& password) {
        return AskArchivPassword(window.Choosers(), &window, QString::fromStdString(sender.ArchivFile), password);
    };
    if (FItemStart) {
        TdmOlvexArchiv* module = dmOlvexArchiv;
        FArchiv.OnCommandItemStart = [module](TArchivFormatAbstract& sender, TArchivCommand command,
                                              PFileInfoItem& entry) {
            return module ? module->ArchivOnCommandItemStart(sender, command, entry) : true;
        };
    }
}

TWorkbenchCommand::~TWorkbenchCommand() {
    FArchiv.OnCommandEnd = nullptr;
    FArchiv.OnCommandProgress = nullptr;
    FArchiv.OnCommandItemProgress = nullptr;
    FArchiv.OnPassword = nullptr;
    FArchiv.OnError = FPreviousOnError;
    if (FItemStart) FArchiv.OnCommandItemStart = nullptr;
    FWindow.spbAbortOperation->setVisible(false);
    FWindow.FCommandRunning = false;
}

void TWorkbenchCommand::ReportFailure(const char* context, const std::string& what, const char* notice) const {
    // The engine's reason names the first failed item after their count; with the items each on
    // a line of their own, what was not done heads them alone.
    if (FItemFailures.empty() || FArchiv.LastAborted()) {
        vendrask::ReportFailure(context, what, FArchiv, notice);
        return;
    }
    vendrask::ReportFailure(context, what, FArchiv.LastErrorKind(), notice);
    for (const std::string& failure : FItemFailures) TavikInfo().RegisterFailure(context, failure);
}

}  // namespace vendrask
