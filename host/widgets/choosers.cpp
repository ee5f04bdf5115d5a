#include "host/widgets/choosers.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>

#include "host/widgets/directory_dialog.h"
#include "host/widgets/file_dialog_locale.h"
#include "host/widgets/file_dialog_size.h"

namespace tavik {

namespace {

class TQtChoosers : public TChoosers {
public:
    std::optional<QString> OpenFile(QWidget* parent, const QString& title, const QString& filter,
                                    const QString& initialDir) override {
        QFileDialog dialog(parent, title, initialDir, filter);
        dialog.setObjectName(QStringLiteral("dlgDatei"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        UseProgramLocale(dialog);
        GiveColumnsRoom(dialog);
        // A name that does not exist yet may be entered: a new archive is created under it.
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        return dialog.selectedFiles().front();
    }

    std::optional<QStringList> OpenFiles(QWidget* parent, const QString& title) override {
        QFileDialog dialog(parent, title);
        dialog.setObjectName(QStringLiteral("dlgDateien"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        UseProgramLocale(dialog);
        GiveColumnsRoom(dialog);
        // The filter as the open dialog names it, not Qt's default.
        dialog.setNameFilter(QStringLiteral("Alle Dateien (*)"));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        return dialog.selectedFiles();
    }

    std::optional<QString> SelectDirectory(QWidget* parent, const TDirectoryChooserOptions& options) override {
        TDirectoryDialog dialog(parent, options);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        const QString chosen = dialog.selectedFiles().front();
        if (!QFileInfo(chosen).isDir()) return std::nullopt;
        return chosen;
    }

    int ExecModal(QDialog& dialog) override { return dialog.exec() == QDialog::Accepted ? 1 : 2; }
};

}  // namespace

std::shared_ptr<TChoosers> NewQtChoosers() { return std::make_shared<TQtChoosers>(); }

}  // namespace tavik
