#pragma once
// While it lives the window counts as busy with a long command of one of its pages (the
// search, the inventory's verification): a workbench command is refused meanwhile and both
// abort buttons show. A progress line, when given, is emptied at the end.
#include <QLabel>
#include <QToolButton>

namespace vendrask {

class TPageCommandRunning {
public:
    TPageCommandRunning(bool& running, bool& commandRunning, bool& aborted, QToolButton& pageAbort,
                        QToolButton& workbenchAbort, QLabel* progress = nullptr)
        : FRunning(running), FCommandRunning(commandRunning), FPageAbort(pageAbort), FWorkbenchAbort(workbenchAbort),
          FProgress(progress) {
        FRunning = true;
        FCommandRunning = true;
        aborted = false;
        FPageAbort.setVisible(true);
        FWorkbenchAbort.setVisible(true);
    }
    ~TPageCommandRunning() {
        if (FProgress) FProgress->clear();
        FPageAbort.setVisible(false);
        FWorkbenchAbort.setVisible(false);
        FCommandRunning = false;
        FRunning = false;
    }
    TPageCommandRunning(const TPageCommandRunning&) = delete;
    TPageCommandRunning& operator=(const TPageCommandRunning&) = delete;

private:
    bool& FRunning;
    bool& FCommandRunning;
    QToolButton& FPageAbort;
    QToolButton& FWorkbenchAbort;
    QLabel* FProgress;
};

}  // namespace vendrask
