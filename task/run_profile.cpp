#include "task/run_profile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vendrask {

TRunProfile::TMeasure::TMeasure(TRunProfile& profile, std::string_view phase)
    : FProfile(profile), FPhase(phase), FStart(TClock::now()) {}

TRunProfile::TMeasure::~TMeasure() { FProfile.Add(FPhase, TClock::now() - FStart); }

void TRunProfile::Add(std::string_view phase, TClock::duration spent) {
    auto found = std::find_if(FPhases.begin(), FPhases.end(), [&](const TPhase& known) { return known.Name == phase; });
    if (found == FPhases.end()) {
        FPhases.push_back({std::string(phase)});
        found = FPhases.end() - 1;
    }
    found->Spent += spent;
    ++found->Count;
}

std::string TRunProfile::Text() const {
    std::string text;
    for (const TPhase& phase : FPhases) {
        const double seconds = std::chrono::duration<double>(phase.Spent).count();
        char line[64];
        std::snprintf(line, sizeof line, "\t%.3f s\t%lld\n", seconds, phase.Count);
        text += phase.Name + line;
    }
    return text;
}

bool RunProfileWanted() {
    const char* wanted = std::getenv("VENDRASK_PROFILE");
    return wanted && *wanted && std::strcmp(wanted, "0") != 0;
}

}  // namespace vendrask
