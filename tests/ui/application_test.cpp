// The application object decides whether a window can be opened before Qt is touched.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "ui/application.h"

namespace {

using vendrask::TApplication;

// Sets the display variables for one test and puts them back afterwards.
class DisplayVariables {
public:
    DisplayVariables() {
        for (const char* name : kNames)
            if (const char* value = std::getenv(name)) FSaved[name] = value;
    }
    ~DisplayVariables() {
        for (const char* name : kNames) {
            if (auto saved = FSaved.find(name); saved != FSaved.end())
                setenv(name, saved->second.c_str(), 1);
            else
                unsetenv(name);
        }
    }
    void Set(std::optional<std::string> platform, std::optional<std::string> display,
             std::optional<std::string> wayland) {
        Put("QT_QPA_PLATFORM", platform);
        Put("DISPLAY", display);
        Put("WAYLAND_DISPLAY", wayland);
    }

private:
    static void Put(const char* name, const std::optional<std::string>& value) {
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    static constexpr const char* kNames[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    std::map<std::string, std::string> FSaved;
};

TEST(Application, WithoutADisplayThereIsNoApplication) {
    DisplayVariables variables;
    variables.Set(std::nullopt, std::nullopt, std::nullopt);
    EXPECT_FALSE(TApplication::DisplayAvailable());
    EXPECT_EQ(TApplication::Create({"vendrask"}), nullptr);
    variables.Set("xcb", std::nullopt, ":0");
    EXPECT_FALSE(TApplication::DisplayAvailable());
    variables.Set("wayland", ":0", std::nullopt);
    EXPECT_FALSE(TApplication::DisplayAvailable());
    variables.Set("", std::nullopt, "");
    EXPECT_FALSE(TApplication::DisplayAvailable());
}

TEST(Application, ADisplayOrAPlatformWithoutOneWillDo) {
    DisplayVariables variables;
    variables.Set(std::nullopt, ":0", std::nullopt);
    EXPECT_TRUE(TApplication::DisplayAvailable());
    variables.Set(std::nullopt, std::nullopt, "wayland-0");
    EXPECT_TRUE(TApplication::DisplayAvailable());
    variables.Set("offscreen", std::nullopt, std::nullopt);
    EXPECT_TRUE(TApplication::DisplayAvailable());
    variables.Set("xcb:nograb", ":1", std::nullopt);
    EXPECT_TRUE(TApplication::DisplayAvailable());
}

TEST(Application, ThereIsOnlyOneQtApplication) {
    // The tests' own application exists already; a second one is refused, not made.
    ASSERT_NE(QCoreApplication::instance(), nullptr);
    EXPECT_EQ(TApplication::Create({"vendrask"}), nullptr);
}

}  // namespace
