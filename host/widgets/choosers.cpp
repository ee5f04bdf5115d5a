#include "host/widgets/choosers.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace tavik {

namespace {

class TQtChoosers : public TChoosers {
public:
    std::optional<QString> OpenFile(QWidget* parent, const QString& title, const QString& filter,
                                    const QString& initialDir) override {
        QFileDialog dialog(parent, title, initialDir, filter);
        // A name that does not exist yet may be entered: a new archive is created under it.
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        return dialog.selectedFiles().front();
    }

    std::optional<QStringList> OpenFiles(QWidget* parent, const QString& title) override {
        QFileDialog dialog(parent, title);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        return dialog.selectedFiles();
    }

    std::optional<QString> SelectDirectory(QWidget* parent, const TDirectoryChooserOptions& options) override {
        QFileDialog dialog(parent, options.Caption, options.StartDir);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        if (!options.AllowCreate) dialog.setOption(QFileDialog::ReadOnly);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        const QString chosen = dialog.selectedFiles().front();
        if (QFileInfo(chosen).isDir()) return chosen;
        if (!options.AllowCreate) return std::nullopt;
        if (options.AskBeforeCreate) {
            QMessageBox question(QMessageBox::Question, QStringLiteral("Frage"),
                                 QStringLiteral("Das Verzeichnis „%1“ gibt es noch nicht.\nSoll es angelegt werden?")
                                     .arg(chosen),
                                 QMessageBox::Yes | QMessageBox::No, parent);
            if (question.exec() != QMessageBox::Yes) return std::nullopt;
        }
        if (!QDir().mkpath(chosen)) {
            QMessageBox::warning(parent, QStringLiteral("Archivverwaltung"),
                                 QStringLiteral("Das Verzeichnis „%1“ konnte nicht angelegt werden. Bitte die "
                                                "Schreibrechte prüfen oder ein anderes Verzeichnis wählen.")
                                     .arg(chosen));
            return std::nullopt;
        }
        return chosen;
    }

    int ExecModal(QDialog& dialog) override { return dialog.exec() == QDialog::Accepted ? 1 : 2; }
};

}  // namespace

std::shared_ptr<TChoosers> NewQtChoosers() { return std::make_shared<TQtChoosers>(); }

}  // namespace tavik
