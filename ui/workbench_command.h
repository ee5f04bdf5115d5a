#pragma once
// The frame of one engine command of the workbench: while it lives the window counts as busy
// (a second command is refused), the abort button is visible and the engine's progress events
// go to the window, the password of encrypted entries is asked in a dialog, and every item that
// fails is kept (the command goes on with the others) to be named in the failure list; whatever
// happens, all of it is undone when it ends.
#include <string>
#include <vector>

#include "host/engine/archiv_format.h"

namespace vendrask {

class TfrmVendrask;

class TWorkbenchCommand {
public:
    // itemStart: also hand each item's start to the task module (extracting and packing).
    TWorkbenchCommand(TfrmVendrask& window, tavik::TArchivFormatAbstract& archiv, bool itemStart);
    ~TWorkbenchCommand();
    TWorkbenchCommand(const TWorkbenchCommand&) = delete;
    TWorkbenchCommand& operator=(const TWorkbenchCommand&) = delete;

    // Hands the command's failure to the failure list: what was not done and why, each failed
    // item on a line of its own, and notice (when given) on screen; as ReportFailure.
    void ReportFailure(const char* context, const std::string& what, const char* notice = nullptr) const;

private:
    TfrmVendrask& FWindow;
    tavik::TArchivFormatAbstract& FArchiv;
    bool FItemStart;
    tavik::TErrorEvent FPreviousOnError;
    std::vector<std::string> FItemFailures;
};

}  // namespace vendrask
