#pragma once
// The front end of a run without windows: notices and failures go to standard error,
// progress dialogs draw there only when it is a terminal and the program is not silent.
#include "host/services/frontend.h"

namespace tavik {

class TConsoleFrontend : public TTavikFrontend {
public:
    void ShowNotice(const std::string& text, const std::string& caption) override;
    int AskQuestion(const std::string& text, const std::string& caption, int buttons, std::uint32_t colour) override;
    void ProcessMessages(int milliseconds) override;
    void ShowFailure(const TFailure& failure) override;
    void ShowException(const std::string& message) override;
    std::unique_ptr<TProgressView> OpenProgressView(const TTavikStdProgressDialog& dialog) override;
};

}  // namespace tavik
