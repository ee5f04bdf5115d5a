#include "host/services/progress_dialog.h"

#include <cmath>

#include "host/services/frontend.h"
#include "host/services/tavik_programm.h"

namespace tavik {

TTavikStdProgressDialog::TTavikStdProgressDialog() = default;
TTavikStdProgressDialog::~TTavikStdProgressDialog() = default;

void TTavikStdProgressDialog::SetProgress(int bar, std::int64_t total, std::int64_t done) {
    auto& element = ProgressBars.at(static_cast<std::size_t>(bar));
    element.Total = total;
    element.Done = done;
    Refresh();
}

void TTavikStdProgressDialog::ResetProgress(int bar) { SetProgress(bar, 0, 0); }

void TTavikStdProgressDialog::ResetCounter(int line) { SetCounterText(line, ""); }

void TTavikStdProgressDialog::SetCounterText(int line, const std::string& text) {
    ProgressCounters.at(static_cast<std::size_t>(line)).Text = text;
    Refresh();
}

void TTavikStdProgressDialog::Start() {
    if (!FView) FView = TavikProgramm().Frontend().OpenProgressView(*this);
    Refresh();
}

void TTavikStdProgressDialog::Stop() { FView.reset(); }

int TTavikStdProgressDialog::PerMille(int bar) const {
    const auto& element = ProgressBars.at(static_cast<std::size_t>(bar));
    if (element.Total <= 0) return element.Done > 0 ? 1000 : 0;
    return static_cast<int>(std::nearbyint(1000.0 * static_cast<double>(element.Done) / static_cast<double>(element.Total)));
}

void TTavikStdProgressDialog::Refresh() {
    if (FView) FView->Refresh(*this);
}

}  // namespace tavik
