// The window tests need one QApplication for the whole program; GoogleTest's own main runs
// them, so the application lives in a global test environment. Qt's own texts are German, as
// the program makes them at start-up.
#include <QApplication>
#include <QTranslator>
#include <gtest/gtest.h>
#include <memory>

#include "ui/qt_german.h"

namespace {

class QtAppEnvironment : public testing::Environment {
public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        FApp = std::make_unique<QApplication>(FArgc, FArgv);
        FQtTexts = vendrask::InstallGermanQtTexts();
    }
    void TearDown() override {
        FQtTexts.reset();
        FApp.reset();
    }

private:
    int FArgc = 1;
    char FName[9] = "ui_tests";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QApplication> FApp;
    std::unique_ptr<QTranslator> FQtTexts;
};

// GoogleTest owns the environment.
[[maybe_unused]] const testing::Environment* const kQtApp = testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace
