#pragma once
// Where a run spends its time, phase by phase: the scan, the object table, packing, syncing,
// reading back, the journal and deleting. An administrator asks for it with VENDRASK_PROFILE=1
// when a night's run takes longer than it should; bench/run puts it beside the peers.
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace vendrask {

class TRunProfile {
public:
    using TClock = std::chrono::steady_clock;

    // Adds the time from its making to its end to one phase. Phases are named by literals:
    // some are measured once per file, and no name is copied for that.
    class TMeasure {
    public:
        TMeasure(TRunProfile& profile, std::string_view phase);
        ~TMeasure();
        TMeasure(const TMeasure&) = delete;
        TMeasure& operator=(const TMeasure&) = delete;

    private:
        TRunProfile& FProfile;
        std::string_view FPhase;
        TClock::time_point FStart;
    };

    struct TPhase {
        std::string Name;
        TClock::duration Spent{};
        long long Count = 0;  // how often it was measured
    };

    TMeasure Measure(std::string_view phase) { return TMeasure(*this, phase); }
    void Add(std::string_view phase, TClock::duration spent);
    void Clear() { FPhases.clear(); }
    // In the order each phase was first measured.
    const std::vector<TPhase>& Phases() const { return FPhases; }
    // One line per phase: its name, its seconds and how often it was measured, tab-separated.
    std::string Text() const;

private:
    std::vector<TPhase> FPhases;
};

// Whether the environment asks for the profile of a run (VENDRASK_PROFILE set and not "0").
bool RunProfileWanted();

}  // namespace vendrask
