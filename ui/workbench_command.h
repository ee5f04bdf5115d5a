#pragma once
// The frame of one engine command of the workbench: while it lives the window counts as busy
// (a second command is refused), the abort button is visible and the engine's progress events
// go to the window, and the password of encrypted entries is asked in a dialog; whatever
// happens, all of it is undone when it ends.
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

private:
    TfrmVendrask& FWindow;
    tavik::TArchivFormatAbstract& FArchiv;
    bool FItemStart;
};

}  // namespace vendrask
