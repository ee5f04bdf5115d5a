#include "app/archiv_console.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace vendrask {

TConsole::TConsole(tavik::TArchivFormatAbstract& archiv, const volatile std::sig_atomic_t& interrupted)
    : FInterrupted(interrupted), FShowProgress(::isatty(STDERR_FILENO) == 1) {
    archiv.OnCommandProgress = [this](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand, std::int64_t done,
                                      std::int64_t total) {
        if (FInterrupted) sender.Abort();
        if (!FShowProgress) return;
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        if (percent == FShownPercent) return;
        FShownPercent = percent;
        std::fprintf(stderr, "\r%3d %%  %-60.60s", percent, FItem.c_str());
        FLineOpen = true;
    };
    archiv.OnCommandItemProgress = [this](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand,
                                          tavik::PFileInfoItem item, std::int64_t, std::int64_t) {
        if (FInterrupted) sender.Abort();
        if (item != nullptr) FItem = item->FileName;
    };
    archiv.OnCommandEnd = [this](tavik::TArchivFormatAbstract&, tavik::TArchivCommand) { EndLine(); };
    archiv.OnError = [this](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind kind,
                            const std::string& item, const std::string& reason, bool& skip) {
        EndLine();
        const std::string message = "„" + item + "“: " + reason;
        std::cerr << "vendrask-archiv: " << message << "\n";
        if (reason == tavik::kArchivConflictRefused) ++FConflicts;
        if (kind == tavik::TArchivErrorKind::Item && ++FFailedItems == 1) FFirstFailure = message;
        // Report the item and go on with the others; the command fails at its end.
        if (kind == tavik::TArchivErrorKind::Item) skip = true;
    };
}

bool TConsole::OnlyItemsFailed(const std::string& lastError) const {
    // The engine's reason after failed items names the first of them, alone or after their count.
    return FFailedItems > 0 && lastError.size() >= FFirstFailure.size() &&
           lastError.compare(lastError.size() - FFirstFailure.size(), std::string::npos, FFirstFailure) == 0;
}

std::string TConsole::Failure(const std::string& lastError) const {
    if (lastError.empty()) return "Der Vorgang ist fehlgeschlagen.";
    if (!OnlyItemsFailed(lastError)) return lastError;
    if (FFailedItems == 1) return {};
    return std::to_string(FFailedItems) + " Einträge konnten nicht verarbeitet werden.";
}

void TConsole::EndLine() {
    if (FLineOpen) std::fputc('\n', stderr);
    FLineOpen = false;
    FShownPercent = -1;
}

}  // namespace vendrask
