#include "ui/password_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "host/widgets/choosers.h"

namespace vendrask {

bool AskArchivPassword(tavik::TChoosers& choosers, QWidget* parent, const QString& archive, std::string& password) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("frmKennwort"));
    dialog.setWindowTitle(QStringLiteral("Kennwort"));
    auto* text = new QLabel(QStringLiteral("Das Archiv „%1“ enthält verschlüsselte Einträge.\n"
                                           "Bitte geben Sie das Kennwort ein:")
                                .arg(QFileInfo(archive).fileName()),
                            &dialog);
    text->setObjectName(QStringLiteral("lblKennwort"));
    text->setTextFormat(Qt::PlainText);
    auto* edit = new QLineEdit(&dialog);
    edit->setObjectName(QStringLiteral("edtKennwort"));
    edit->setEchoMode(QLineEdit::Password);
    text->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    if (choosers.ExecModal(dialog) != QDialog::Accepted || edit->text().isEmpty()) return false;
    password = edit->text().toStdString();
    edit->clear();
    return true;
}

}  // namespace vendrask
