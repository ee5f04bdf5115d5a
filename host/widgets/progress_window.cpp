#include "host/widgets/progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace tavik {

namespace {

Qt::Alignment AlignmentOf(TAlignment alignment) {
    switch (alignment) {
        case TAlignment::taRightJustify: return Qt::AlignRight | Qt::AlignVCenter;
        case TAlignment::taCenter: return Qt::AlignCenter;
        default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

// Repaints in between happen at most this often; the runs call Refresh per file.
constexpr auto kPaintInterval = std::chrono::milliseconds(50);

}  // namespace

TProgressWindow::TProgressWindow(const TTavikStdProgressDialog& dialog, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("pgd"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QString::fromStdString(dialog.Caption));
    setMinimumSize(dialog.Width, dialog.Height);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(dialog.ElementSpacing);
    layout->setContentsMargins(12, 12, 12, 12);
    for (const TProgressBarElement& element : dialog.ProgressBars) {
        auto* bar = new QProgressBar(this);
        bar->setObjectName(QString::fromStdString(element.Name));
        bar->setTextVisible(false);
        if (element.ProgressKind == TProgressKind::pkAnimation) {
            // The delete animation: a busy bar that moves for as long as the run lasts.
            bar->setRange(0, 0);
            bar->setProperty("animation", element.AniCommonAVI == TCommonAVI::aviDeleteFile
                                              ? QStringLiteral("aviDeleteFile")
                                              : QStringLiteral("aviNone"));
        } else {
            bar->setRange(0, 1000);
            bar->setValue(0);
        }
        layout->addWidget(bar);
        FBars.push_back(bar);
    }
    for (const TProgressCounter& counter : dialog.ProgressCounters) {
        auto* line = new QHBoxLayout;
        line->setSpacing(6 + counter.Separation);
        auto* caption = new QLabel(QString::fromStdString(counter.Caption), this);
        caption->setObjectName(QString::fromStdString(counter.Name) + QStringLiteral("Caption"));
        caption->setAlignment(AlignmentOf(counter.CaptionAlignment));
        auto* text = new QLabel(this);
        text->setObjectName(QString::fromStdString(counter.Name));
        text->setAlignment(AlignmentOf(counter.CounterAlignment));
        text->setTextFormat(Qt::PlainText);
        text->setMinimumWidth(200);
        line->addWidget(caption);
        line->addWidget(text, 1);
        layout->addLayout(line);
        FCounters.push_back(text);
    }
    layout->addStretch(1);
    resize(dialog.Width, dialog.Height);
    Follow(dialog);
}

void TProgressWindow::Follow(const TTavikStdProgressDialog& dialog) {
    for (std::size_t i = 0; i < FBars.size() && i < dialog.ProgressBars.size(); ++i)
        if (dialog.ProgressBars[i].ProgressKind == TProgressKind::pkProgressBar)
            FBars[i]->setValue(dialog.PerMille(static_cast<int>(i)));
    for (std::size_t i = 0; i < FCounters.size() && i < dialog.ProgressCounters.size(); ++i)
        FCounters[i]->setText(QString::fromStdString(dialog.ProgressCounters[i].Text));
}

void TProgressWindow::closeEvent(QCloseEvent* event) { event->ignore(); }

TProgressWindowView::TProgressWindowView(const TTavikStdProgressDialog& dialog, QWidget* owner)
    : FOwner(owner ? owner->window() : nullptr) {
    // A window of the owner: above it, centred over it, without a taskbar entry of its own.
    FWindow = std::make_unique<TProgressWindow>(dialog, FOwner.data());
    FWindowAlive = FWindow.get();
    if (FOwner) {
        FWindow->adjustSize();
        const QRect area = FOwner->frameGeometry();
        FWindow->move(area.center() - QPoint(FWindow->width() / 2, FWindow->height() / 2));
        if (dialog.DisableOwner) {
            FOwnerWasEnabled = FOwner->isEnabled();
            FOwner->setEnabled(false);
            FOwnerDisabled = true;
            // Disabling a window disables its dialogs too; this one shows the run.
            FWindow->setEnabled(true);
        }
    }
    FWindow->show();
    FWindow->raise();
    // The runs let no input through while they work; the window must still appear at once.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    FLastPaint = std::chrono::steady_clock::now();
}

TProgressWindowView::~TProgressWindowView() {
    // The owner may have gone first and taken its window with it.
    if (!FWindowAlive) {
        (void)FWindow.release();
        return;
    }
    FWindow->hide();
    if (FOwnerDisabled && FOwner) FOwner->setEnabled(FOwnerWasEnabled);
}

void TProgressWindowView::Refresh(const TTavikStdProgressDialog& dialog) {
    FWindow->Follow(dialog);
    const auto now = std::chrono::steady_clock::now();
    if (now - FLastPaint < kPaintInterval) return;
    FLastPaint = now;
    FWindow->repaint();
}

}  // namespace tavik
