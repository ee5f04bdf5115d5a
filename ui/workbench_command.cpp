#include "ui/workbench_command.h"

#include <QToolButton>

#include "task/dmarchivu.h"
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
    if (FItemStart) FArchiv.OnCommandItemStart = nullptr;
    FWindow.spbAbortOperation->setVisible(false);
    FWindow.FCommandRunning = false;
}

}  // namespace vendrask
