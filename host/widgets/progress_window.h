#pragma once
// The visible side of a TTavikStdProgressDialog: a small window built from the dialog's
// configuration (caption, bars, animation, counter lines) that follows its state while the
// dialog runs, and keeps its owner disabled meanwhile when the dialog asks for it.
#include <QDialog>
#include <QPointer>

#include <chrono>
#include <memory>
#include <vector>

#include "host/services/frontend.h"
#include "host/services/progress_dialog.h"

class QLabel;
class QProgressBar;

namespace tavik {

class TProgressWindow : public QDialog {
    Q_OBJECT

public:
    // owner: the window it belongs to (it stays above it); none for a window of its own.
    TProgressWindow(const TTavikStdProgressDialog& dialog, QWidget* owner);
    void Follow(const TTavikStdProgressDialog& dialog);

protected:
    // The runs cannot be interrupted from their dialog.
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}

private:
    std::vector<QProgressBar*> FBars;  // one per element, in element order
    std::vector<QLabel*> FCounters;    // the text of each counter line
};

class TProgressWindowView : public TProgressView {
public:
    TProgressWindowView(const TTavikStdProgressDialog& dialog, QWidget* owner);
    ~TProgressWindowView() override;
    void Refresh(const TTavikStdProgressDialog& dialog) override;
    TProgressWindow& Window() { return *FWindow; }

private:
    std::unique_ptr<TProgressWindow> FWindow;
    QPointer<TProgressWindow> FWindowAlive;  // empty once the owner has deleted it
    QPointer<QWidget> FOwner;
    bool FOwnerWasEnabled = true;
    bool FOwnerDisabled = false;
    std::chrono::steady_clock::time_point FLastPaint{};
};

}  // namespace tavik
