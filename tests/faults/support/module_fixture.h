#pragma once
// The task module on a real host installation in this process, with a recording front end, for
// faults that must strike at a chosen moment of a run (inside the engine's progress events).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/services/date_time.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "task/dmarchivu.h"
#include "tests/support/host_fixture.h"
#include "tests/support/recording_frontend.h"

namespace faults {

class ModuleFixture : public ::testing::Test {
protected:
    void SetUp() override {
        host.Activate();
        tavik::TavikProgramm().SetFrontend(std::make_unique<testsupport::RecordingFrontend>(log));
    }

    vendrask::TdmOlvexArchiv& Module() {
        module = std::make_unique<vendrask::TdmOlvexArchiv>(tavik::TParameters{"vendrask", "-A", "-L"});
        module->Clock = [] { return tavik::EncodeDateTime({2026, 12, 7, 10, 0, 0}); };
        return *module;
    }
    std::string Path(const std::string& relative) const { return host.Root() + "/" + relative; }
    std::string Archiv() const { return Path("ARCHIV/SK261207.001"); }

    testsupport::HostFixture host;
    testsupport::FrontendLog log;
    std::unique_ptr<vendrask::TdmOlvexArchiv> module;
};

}  // namespace faults
