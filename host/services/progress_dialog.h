#pragma once
// A progress dialog of the host framework: configuration, state and the operations the
// program calls. What the user sees comes from the front end while the dialog is started.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavik {

class TProgressView;

enum class TProgressKind { pkProgressBar, pkAnimation };
enum class TCommonAVI { aviNone, aviDeleteFile };
enum class TDialogPosition { dpScreenCenter, dpOwnerCenter, dpUser };
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

struct TProgressBarElement {
    std::string Name;
    TProgressKind ProgressKind = TProgressKind::pkProgressBar;
    TCommonAVI AniCommonAVI = TCommonAVI::aviNone;
    int BarPosition = 0;
    // state
    std::int64_t Total = 0;
    std::int64_t Done = 0;
};

struct TProgressCounter {
    std::string Name;
    std::string Caption;
    TAlignment CaptionAlignment = TAlignment::taLeftJustify;
    TAlignment CounterAlignment = TAlignment::taLeftJustify;
    int Separation = 0;
    // state
    std::string Text;
};

class TTavikStdProgressDialog {
public:
    TTavikStdProgressDialog();
    ~TTavikStdProgressDialog();
    TTavikStdProgressDialog(const TTavikStdProgressDialog&) = delete;
    TTavikStdProgressDialog& operator=(const TTavikStdProgressDialog&) = delete;

    // configuration
    std::string Caption;
    bool AbortButton = false;
    std::string AbortBtnCaption = "Abbrechen";
    bool CountingEnabled = true;
    TDialogPosition DialogPosition = TDialogPosition::dpScreenCenter;
    bool DisableOwner = true;
    int ElementSpacing = 10;
    int Width = 350;
    int Height = 150;
    std::vector<TProgressBarElement> ProgressBars;
    std::vector<TProgressCounter> ProgressCounters;

    void SetProgress(int bar, std::int64_t total, std::int64_t done);
    void ResetProgress(int bar);
    void ResetCounter(int line);
    void SetCounterText(int line, const std::string& text);
    void Stop();
    void Start();

    bool Active() const { return FView != nullptr; }
    // Per mille of a bar, 0 to 1000; a total of 0 or less counts as complete.
    int PerMille(int bar) const;

private:
    void Refresh();

    std::unique_ptr<TProgressView> FView;
};

}  // namespace tavik
