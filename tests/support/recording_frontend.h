#pragma once
// A front end for tests: records what the program shows and answers questions from a script.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "host/services/frontend.h"
#include "host/services/progress_dialog.h"

namespace testsupport {

struct FrontendLog {
    std::vector<std::string> notices;
    std::vector<std::string> questions;
    std::vector<int> questionButtons;        // the buttons each question offered
    std::vector<std::string> failures;       // "context: message"
    std::vector<std::string> dialogsOpened;  // captions of progress dialogs, in order
    int processMessagesCalls = 0;
    std::deque<int> answers;                 // answers to questions; No when empty
    std::function<void()> onProcessMessages;  // runs inside the engine's progress events
};

class RecordingFrontend : public tavik::TTavikFrontend {
public:
    explicit RecordingFrontend(FrontendLog& log) : FLog(log) {}
    void ShowNotice(const std::string& text, const std::string&) override { FLog.notices.push_back(text); }
    int AskQuestion(const std::string& text, const std::string&, int buttons, std::uint32_t) override {
        FLog.questions.push_back(text);
        FLog.questionButtons.push_back(buttons);
        if (FLog.answers.empty()) return tavik::idNo;
        const int answer = FLog.answers.front();
        FLog.answers.pop_front();
        return answer;
    }
    void ProcessMessages(int) override {
        ++FLog.processMessagesCalls;
        if (FLog.onProcessMessages) FLog.onProcessMessages();
    }
    void ShowFailure(const tavik::TFailure& failure) override {
        FLog.failures.push_back(failure.Context + ": " + failure.Message);
    }
    void ShowException(const std::string& message) override { FLog.failures.push_back("exception: " + message); }
    std::unique_ptr<tavik::TProgressView> OpenProgressView(const tavik::TTavikStdProgressDialog& dialog) override {
        FLog.dialogsOpened.push_back(dialog.Caption);
        return nullptr;
    }

private:
    FrontendLog& FLog;
};

}  // namespace testsupport
