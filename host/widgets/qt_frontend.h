#pragma once
// The front end of the windows: notices and questions as message boxes, pending input handled
// by Qt's event loop, progress dialogs as small windows, and registered failures collected in
// one window beside the work.
#include <QPointer>
#include <QWidget>

#include <memory>

#include "host/services/frontend.h"
#include "host/widgets/choosers.h"
#include "host/widgets/failure_list.h"

namespace tavik {

class TQtFrontend : public TTavikFrontend {
public:
    explicit TQtFrontend(std::shared_ptr<TChoosers> choosers);
    ~TQtFrontend() override;

    // The window that message boxes and progress dialogs belong to; the active one when none.
    void SetOwner(QWidget* owner) { FOwner = owner; }
    QWidget* Owner() const;
    // The collected failures; empty until the first one. A window of the owner's when there is
    // one: it has no taskbar entry of its own and goes with the owner.
    TFailureList* Failures() const { return FFailures.data(); }

    // A modal box; while a command handles input (a handler refused a second command, say) it
    // only blocks the window's input and returns at once, and the command goes on beneath it.
    void ShowNotice(const std::string& text, const std::string& caption) override;
    int AskQuestion(const std::string& text, const std::string& caption, int buttons, std::uint32_t colour) override;
    void ProcessMessages(int milliseconds) override;
    void ShowFailure(const TFailure& failure) override;
    void ShowException(const std::string& message) override;
    std::unique_ptr<TProgressView> OpenProgressView(const TTavikStdProgressDialog& dialog) override;

private:
    std::shared_ptr<TChoosers> FChoosers;
    QPointer<QWidget> FOwner;
    // How deep ProcessMessages is nested: above 0 a command runs and handles input between its
    // steps; a notice shown then must not hold the command up.
    int FProcessing = 0;
    QPointer<TFailureList> FFailures;
    std::unique_ptr<TFailureList> FUnownedFailures;  // without an owner only
};

}  // namespace tavik
