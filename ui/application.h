#pragma once
// The application object of the interactive program: it owns Qt's application, puts the
// windows' front end in place, creates the main window and the two dialogs and runs the
// message loop until the main window closes.
#include <memory>
#include <string>
#include <vector>

#include "host/services/command_line.h"
#include "host/services/frontend.h"
#include "host/widgets/choosers.h"

class QApplication;
class QTranslator;

namespace tavik {
class TQtFrontend;
}

namespace vendrask {

class TfrmVendrask;
class TfrmArchivAdd;
class TfrmArchivSpan;

// The two dialogs; empty until CreateWindows has made them.
extern TfrmArchivAdd* frmArchivAdd;
extern TfrmArchivSpan* frmArchivSpan;

class TApplication {
public:
    // Nothing when no display can be opened (the caller says so and ends).
    static std::unique_ptr<TApplication> Create(const tavik::TParameters& parameters);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Whether Qt can open a window here: an offscreen or other platform named by QT_QPA_PLATFORM,
    // or an X or Wayland display.
    static bool DisplayAvailable();

    // The main window, then the add-files and the span dialog; an error registered during a
    // creation is raised at once (the windows made before it stay).
    void CreateWindows();
    bool HasMainWindow() const { return FMainWindow != nullptr; }
    TfrmVendrask* MainWindow() const { return FMainWindow.get(); }
    // Shows the main window and runs the message loop until it closes; gives the exit status.
    int Exec();

private:
    explicit TApplication(const tavik::TParameters& parameters);

    std::vector<std::string> FArguments;
    std::vector<char*> FArgv;
    int FArgc = 0;
    std::unique_ptr<QApplication> FApp;
    std::unique_ptr<QTranslator> FQtTexts;  // Qt's own texts in German; none without the file
    std::shared_ptr<tavik::TChoosers> FChoosers;
    tavik::TQtFrontend* FFrontend = nullptr;  // owned by the program object while the windows run
    std::unique_ptr<tavik::TTavikFrontend> FPreviousFrontend;
    std::unique_ptr<TfrmVendrask> FMainWindow;
    std::unique_ptr<TfrmArchivAdd> FArchivAdd;
    std::unique_ptr<TfrmArchivSpan> FArchivSpan;
};

}  // namespace vendrask
