#include "host/services/console_frontend.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "host/services/progress_dialog.h"
#include "host/services/tavik_programm.h"

namespace tavik {

namespace {

bool DrawsOnTerminal() { return isatty(STDERR_FILENO) && !TavikProgramm().SilentMode(); }

// One status line on standard error, redrawn at most ten times a second.
class TConsoleProgressView : public TProgressView {
public:
    explicit TConsoleProgressView(const TTavikStdProgressDialog& dialog) { Draw(dialog, true); }
    ~TConsoleProgressView() override {
        if (FDrawn) std::fputs("\r\033[K", stderr);
    }
    void Refresh(const TTavikStdProgressDialog& dialog) override { Draw(dialog, false); }

private:
    void Draw(const TTavikStdProgressDialog& dialog, bool force) {
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - FLast < std::chrono::milliseconds(100)) return;
        FLast = now;
        std::string line = dialog.Caption;
        for (std::size_t i = 0; i < dialog.ProgressBars.size(); ++i) {
            if (dialog.ProgressBars[i].ProgressKind != TProgressKind::pkProgressBar) continue;
            line += " " + std::to_string(dialog.PerMille(static_cast<int>(i)) / 10) + "%";
        }
        for (const auto& counter : dialog.ProgressCounters)
            if (!counter.Text.empty()) line += "  " + counter.Caption + " " + counter.Text;
        if (line.size() > 100) line = line.substr(0, 97) + "...";
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
        FDrawn = true;
    }

    std::chrono::steady_clock::time_point FLast{};
    bool FDrawn = false;
};

}  // namespace

void TConsoleFrontend::ShowNotice(const std::string& text, const std::string&) {
    if (!TavikProgramm().SilentMode()) std::fprintf(stderr, "%s\n", text.c_str());
}

int TConsoleFrontend::AskQuestion(const std::string& text, const std::string&, int buttons, std::uint32_t) {
    // Nobody can answer an unattended run; it takes the safe answer.
    if (TavikProgramm().SilentMode() || !isatty(STDIN_FILENO)) return idNo;
    const bool all = buttons == mbYesNoAll;
    std::fprintf(stderr, "%s %s ", text.c_str(), all ? "[j = ja, N = nein, a = ja, alle, k = nein, keine]" : "[j/N]");
    std::fflush(stderr);
    char answer[16] = {};
    if (std::fgets(answer, sizeof answer, stdin) == nullptr) return idNo;
    switch (answer[0]) {
        case 'j': case 'J': case 'y': case 'Y': return idYes;
        case 'a': case 'A': return all ? idYesAll : idNo;
        case 'k': case 'K': return all ? idNoAll : idNo;
        default: return idNo;
    }
}

void TConsoleFrontend::ProcessMessages(int) {}

void TConsoleFrontend::ShowFailure(const TFailure&) {
    // The error service has written it to standard error already.
}

void TConsoleFrontend::ShowException(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }

std::unique_ptr<TProgressView> TConsoleFrontend::OpenProgressView(const TTavikStdProgressDialog& dialog) {
    if (!DrawsOnTerminal()) return nullptr;
    return std::make_unique<TConsoleProgressView>(dialog);
}

}  // namespace tavik
