#pragma once
// The program object of the host framework: identity, process type, silent mode, the host's
// settings (RTyp, client text) and the front end through which the program shows things.
#include <exception>
#include <memory>
#include <string>

#include "host/services/frontend.h"

namespace tavik {

enum class TEnumProzessTypen : int { ptDialog = 0, ptBatch = 3 };
enum class TPVR_InstanceCount : int { icAny = 0 };

// The host's program record: one byte, its RTyp (1..255).
using TRTyp = std::uint8_t;

struct TProgrammOptions {
    bool Unattended = false;  // set by start-up under "AUTO" before silent mode
};

class TTavikProgramm {
public:
    TTavikProgramm();
    ~TTavikProgramm();

    // Identifies the program and checks the host installation; throws EHostInstallation
    // (with a message naming the variable or path) when it cannot be used.
    void Init(const std::string& programId, TEnumProzessTypen processType, TPVR_InstanceCount instances,
              int reserved, bool checkInstallation);
    bool Initialized() const { return FInitialized; }

    void SetSilentMode(bool silent) { FSilent = silent; }
    bool SilentMode() const { return FSilent; }
    TProgrammOptions& Options() { return FOptions; }
    TEnumProzessTypen ProcessType() const { return FProcessType; }

    // The identifier text that prefixes form keys: the program id.
    const std::string& Kennung() const { return FProgramId; }

    TRTyp GetRTyp() const;
    std::string GetTextMandant() const;

    void ShowException(const std::exception& error, bool flag);

    TTavikFrontend& Frontend();
    // Replaces the front end; returns the previous one.
    std::unique_ptr<TTavikFrontend> SetFrontend(std::unique_ptr<TTavikFrontend> frontend);

    // Back to the state after construction (tests).
    void Reset();

private:
    std::string FProgramId;
    TEnumProzessTypen FProcessType = TEnumProzessTypen::ptDialog;
    bool FSilent = false;
    bool FInitialized = false;
    TProgrammOptions FOptions;
    std::unique_ptr<TTavikFrontend> FFrontend;
};

TTavikProgramm& TavikProgramm();

// Messages through the front end of the program object.
void TavikHinweisBox(const std::string& text, const std::string& caption = "");
int TavikMessageBox(const std::string& text, const std::string& caption, int buttons, std::uint32_t colour);
void TavikInfoProcessMessages(int milliseconds);

}  // namespace tavik
