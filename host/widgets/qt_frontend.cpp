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
    if (FProcessing > 0 && QApplication::instance()) {
        // A box of its own event loop would stop the command below it until the user answers.
        auto* box = new QMessageBox(QMessageBox::Information, CaptionOr(caption), QString::fromStdString(text),
                                    QMessageBox::Ok, Owner());
        box->setObjectName(QStringLiteral("msgHinweis"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    QMessageBox box(QMessageBox::Information, CaptionOr(caption), QString::fromStdString(text), QMessageBox::Ok,
                    Owner());
    box.setObjectName(QStringLiteral("msgHinweis"));
    FChoosers->ExecModal(box);
}

int TQtFrontend::AskQuestion(const std::string& text, const std::string& caption, int buttons, std::uint32_t colour) {
    const bool yesNo = buttons == mbYesNo;
    const bool all = buttons == mbYesNoAll;
    QMessageBox::StandardButtons shown = QMessageBox::Ok;
    if (yesNo) shown = QMessageBox::Yes | QMessageBox::No;
    if (all) shown = QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll | QMessageBox::NoToAll;
    QMessageBox box(QMessageBox::Question, CaptionOr(caption), QString::fromStdString(text), shown, Owner());
    box.setObjectName(QStringLiteral("msgFrage"));
    if (yesNo || all) {
        box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
        box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
        // A question with the All answers replaces files: the safe answer is the default.
        box.setDefaultButton(all ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    if (all) {
        box.button(QMessageBox::YesToAll)->setText(QStringLiteral("Ja, &alle"));
        box.button(QMessageBox::NoToAll)->setText(QStringLiteral("Nein, &keine"));
    }
    QPalette palette = box.palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(colour));
    box.setPalette(palette);
    box.setAutoFillBackground(true);
    FChoosers->ExecModal(box);
    if (!yesNo && !all) return 1;
    const QAbstractButton* clicked = box.clickedButton();
    if (clicked == box.button(QMessageBox::Yes)) return idYes;
    if (all && clicked == box.button(QMessageBox::YesToAll)) return idYesAll;
    if (all && clicked == box.button(QMessageBox::NoToAll)) return idNoAll;
    return idNo;
}

void TQtFrontend::ProcessMessages(int milliseconds) {
    struct TDepth {
        int& Depth;
        explicit TDepth(int& depth) : Depth(depth) { ++Depth; }
        ~TDepth() { --Depth; }
    } depth(FProcessing);
    if (milliseconds > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, milliseconds);
    else
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TQtFrontend::ShowFailure(const TFailure& failure) {
    if (!QApplication::instance()) return;
    if (!FFailures) {
        if (FOwner) {
            FFailures = new TFailureList(FOwner->window());  // the owner's child, deleted with it
        } else {
            FUnownedFailures = std::make_unique<TFailureList>();
            FFailures = FUnownedFailures.get();
        }
    }
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
