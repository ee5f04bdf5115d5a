#include "host/widgets/directory_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "host/widgets/choosers.h"
#include "host/widgets/file_dialog_locale.h"
#include "host/widgets/file_dialog_size.h"

namespace tavik {

TDirectoryDialog::TDirectoryDialog(QWidget* parent, const TDirectoryChooserOptions& options)
    : QFileDialog(parent, options.Caption, options.StartDir) {
    setObjectName(QStringLiteral("dlgVerzeichnis"));
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly);
    UseProgramLocale(*this);
    GiveColumnsRoom(*this);
    if (auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox")))
        FAcceptButton = buttons->button(QDialogButtonBox::Open);
    if (FAcceptButton) FAcceptButton->installEventFilter(this);
    if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        connect(edit, &QLineEdit::textChanged, this, &TDirectoryDialog::KeepAcceptEnabled);
}

void TDirectoryDialog::accept() {
    const QStringList chosen = selectedFiles();
    if (!chosen.isEmpty() && !QFileInfo::exists(chosen.front()) && !Create(chosen.front())) return;
    QFileDialog::accept();
}

bool TDirectoryDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FAcceptButton && event->type() == QEvent::EnabledChange) KeepAcceptEnabled();
    return QFileDialog::eventFilter(watched, event);
}

void TDirectoryDialog::KeepAcceptEnabled() {
    if (!FAcceptButton || FEnabling || FAcceptButton->isEnabled()) return;
    const auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!edit || edit->text().trimmed().isEmpty()) return;
    FEnabling = true;
    FAcceptButton->setEnabled(true);
    FEnabling = false;
}

bool TDirectoryDialog::Create(const QString& directory) {
    const QString shown = QDir::toNativeSeparators(directory);
    QMessageBox question(QMessageBox::Question, QStringLiteral("Frage"),
                         QStringLiteral("Das Verzeichnis „%1“ gibt es noch nicht.\nSoll es angelegt werden?").arg(shown),
                         QMessageBox::Yes | QMessageBox::No, this);
    question.setObjectName(QStringLiteral("msgFrage"));
    question.setDefaultButton(QMessageBox::Yes);
    if (question.exec() != QMessageBox::Yes) return false;
    if (QDir().mkpath(directory)) return true;
    QMessageBox failure(QMessageBox::Warning, QStringLiteral("Archivverwaltung"),
                        QStringLiteral("Das Verzeichnis „%1“ konnte nicht angelegt werden. Bitte die Schreibrechte "
                                       "prüfen oder ein anderes Verzeichnis wählen.")
                            .arg(shown),
                        QMessageBox::Ok, this);
    failure.setObjectName(QStringLiteral("msgFehler"));
    failure.exec();
    return false;
}

}  // namespace tavik
