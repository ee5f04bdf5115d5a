#include "host/widgets/qt_frontend.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

#include "host/widgets/progress_window.h"

namespace tavik {

namespace {

const QString kProgramTitle = QStringLiteral("Archivverwaltung");

QString CaptionOr(const std::string& caption) {
    return caption.empty() ? kProgramTitle : QString::fromStdString(caption);
}

}  // namespace

TQtFrontend::TQtFrontend(std::shared_ptr<TChoosers> choosers) : FChoosers(std::move(choosers)) {}

TQtFrontend::~TQtFrontend() = default;

QWidget* TQtFrontend::Owner() const { return FOwner ? FOwner.data() : QApplication::activeWindow(); }

void TQtFrontend::ShowNotice(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::Information, CaptionOr(caption), QString::fromStdString(text), QMessageBox::Ok,
                    Owner());
    box.setObjectName(QStringLiteral("msgHinweis"));
    FChoosers->ExecModal(box);
}

int TQtFrontend::AskQuestion(const std::string& text, const std::string& caption, int buttons, std::uint32_t colour) {
    const bool yesNo = buttons == mbYesNo;
    QMessageBox box(QMessageBox::Question, CaptionOr(caption), QString::fromStdString(text),
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, Owner());
    box.setObjectName(QStringLiteral("msgFrage"));
    if (yesNo) {
        box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
        box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    QPalette palette = box.palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(colour));
    box.setPalette(palette);
    box.setAutoFillBackground(true);
    FChoosers->ExecModal(box);
    if (!yesNo) return 1;
    return box.clickedButton() == box.button(QMessageBox::Yes) ? idYes : idNo;
}

void TQtFrontend::ProcessMessages(int milliseconds) {
    if (milliseconds > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, milliseconds);
    else
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TQtFrontend::ShowFailure(const TFailure& failure) {
    if (!QApplication::instance()) return;
    if (!FFailures) FFailures = std::make_unique<TFailureList>();
    FFailures->Add(failure);
}

void TQtFrontend::ShowException(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    if (!QApplication::instance()) return;
    QMessageBox box(QMessageBox::Critical, kProgramTitle, QString::fromStdString(message), QMessageBox::Ok, Owner());
    box.setObjectName(QStringLiteral("msgFehler"));
    FChoosers->ExecModal(box);
}

std::unique_ptr<TProgressView> TQtFrontend::OpenProgressView(const TTavikStdProgressDialog& dialog) {
    if (!QApplication::instance()) return nullptr;
    return std::make_unique<TProgressWindowView>(dialog, Owner());
}

}  // namespace tavik
