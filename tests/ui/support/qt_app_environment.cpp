// The window tests need one QApplication for the whole program; GoogleTest's own main runs
// them, so the application lives in a global test environment.
#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

namespace {

class QtAppEnvironment : public testing::Environment {
public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        FApp = std::make_unique<QApplication>(FArgc, FArgv);
    }
    void TearDown() override { FApp.reset(); }

private:
    int FArgc = 1;
    char FName[9] = "ui_tests";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QApplication> FApp;
};

// GoogleTest owns the environment.
[[maybe_unused]] const testing::Environment* const kQtApp = testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace
