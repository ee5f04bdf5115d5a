#include "tests/ui/support/modal_driver.h"

#include <QApplication>
#include <QDialog>
#include <gtest/gtest.h>

namespace uitest {

namespace {

constexpr int kTickMs = 20;
// Generous: a dialog waits this long for a step before it is rejected (only to stop hangs).
constexpr int kMaxIdleTicks = 30'000 / kTickMs;

}  // namespace

ModalDriver::ModalDriver() {
    FTimer.setInterval(kTickMs);
    QObject::connect(&FTimer, &QTimer::timeout, [this] { Tick(); });
    FTimer.start();
}

ModalDriver::~ModalDriver() { FTimer.stop(); }

void ModalDriver::Later(QObject* target, std::function<void()> action) {
    QTimer::singleShot(0, target, std::move(action));
}

void ModalDriver::Tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (modal != FLast) {
        FLast = modal;
        FIdleTicks = 0;
    }
    if (!FSteps.empty() && FSteps.front()(*modal)) {
        FSteps.pop_front();
        FIdleTicks = 0;
        return;
    }
    if (++FIdleTicks < kMaxIdleTicks) return;
    ADD_FAILURE() << "no step took the dialog \"" << modal->windowTitle().toStdString() << "\"";
    FIdleTicks = 0;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) Later(dialog, [dialog] { dialog->reject(); });
}

}  // namespace uitest
