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

private:
    void EndLine();

    const volatile std::sig_atomic_t& FInterrupted;
    bool FShowProgress;
    bool FLineOpen = false;
    int FShownPercent = -1;
    int FConflicts = 0;
    std::string FItem;
};

}  // namespace vendrask
