#pragma once
// What the core must show goes through a front end: the windows, the console and the tests
// each implement it. The program object holds the one in use.
#include <cstdint>
#include <memory>
#include <string>

#include "host/services/tavik_info.h"

namespace tavik {

class TTavikStdProgressDialog;

// The visible side of a progress dialog; the dialog calls Refresh after each change.
class TProgressView {
public:
    virtual ~TProgressView() = default;
    virtual void Refresh(const TTavikStdProgressDialog& dialog) = 0;
};

constexpr int mbYesNo = 4;
constexpr int mbYesNoAll = 0x20;  // Ja / Nein / Ja, alle / Nein, keine
constexpr int idYes = 6;
constexpr int idNo = 7;
constexpr int idNoAll = 9;
constexpr int idYesAll = 10;

class TTavikFrontend {
public:
    virtual ~TTavikFrontend() = default;
    // A modal notice with the text alone.
    virtual void ShowNotice(const std::string& text, const std::string& caption) = 0;
    // A question; buttons mbYesNo asks Yes/No and answers idYes or idNo, mbYesNoAll adds
    // "Ja, alle" and "Nein, keine" (idYesAll, idNoAll). Closed without an answer: idNo.
    virtual int AskQuestion(const std::string& text, const std::string& caption, int buttons,
                            std::uint32_t colour) = 0;
    // Handles pending input for at most the given milliseconds.
    virtual void ProcessMessages(int milliseconds) = 0;
    // A failure the error service registered (already written to standard error).
    virtual void ShowFailure(const TFailure& failure) = 0;
    // An exception that reached start-up.
    virtual void ShowException(const std::string& message) = 0;
    // Opens the visible side of a progress dialog; closed when the returned object goes.
    virtual std::unique_ptr<TProgressView> OpenProgressView(const TTavikStdProgressDialog& dialog) = 0;
};

}  // namespace tavik
