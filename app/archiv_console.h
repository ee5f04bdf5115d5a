#pragma once
// The console side of an archive command: a progress line on a terminal, errors on standard
// error, Ctrl+C passed on to the engine as Abort().
#include <csignal>
#include <string>

#include "host/engine/archiv_format.h"

namespace vendrask {

class TConsole {
public:
    // interrupted is set by the program's Ctrl+C handler.
    TConsole(tavik::TArchivFormatAbstract& archiv, const volatile std::sig_atomic_t& interrupted);

    // Items refused because a different file was there.
    int Conflicts() const { return FConflicts; }

    // The last line for a failed command, given its LastError: what the lines of the failed
    // items above do not say already. Empty when the failure was the single item shown; a count
    // when it was several.
    std::string Failure(const std::string& lastError) const;
    // Whether the failure, given its LastError, was that of the failed items shown, and nothing more.
    bool OnlyItemsFailed(const std::string& lastError) const;

private:
    void EndLine();

    const volatile std::sig_atomic_t& FInterrupted;
    bool FShowProgress;
    bool FLineOpen = false;
    int FShownPercent = -1;
    int FConflicts = 0;
    int FFailedItems = 0;
    std::string FFirstFailure;
    std::string FItem;
};

}  // namespace vendrask
