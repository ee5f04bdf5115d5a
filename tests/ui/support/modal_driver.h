#pragma once
// Drives the real modal dialogs that the code under test opens and runs itself (a QFileDialog,
// a question box): a timer looks at the active modal window and hands it to the next step.
// A step that closes its dialog must do so queued (Later), so that a dialog opened from inside
// that one is seen too. A dialog that no step handles within the bound is rejected, so a
// broken test fails instead of hanging.
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <vector>

namespace uitest {

class ModalDriver {
public:
    // A step gets the active modal window; it returns false when that is not its dialog yet.
    using Step = std::function<bool(QWidget&)>;

    ModalDriver();
    ~ModalDriver();
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    void Then(Step step) { FSteps.push_back(std::move(step)); }
    bool Done() const { return FSteps.empty(); }

    // Runs the slot from the event loop, after the running step has returned.
    static void Later(QObject* target, std::function<void()> action);

private:
    void Tick();

    QTimer FTimer;
    std::deque<Step> FSteps;
    QPointer<QWidget> FLast;
    int FIdleTicks = 0;
};

}  // namespace uitest
