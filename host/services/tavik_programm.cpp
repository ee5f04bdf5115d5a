#include "host/services/tavik_programm.h"

#include "host/services/console_frontend.h"
#include "host/services/db_connector.h"
#include "host/services/exceptions.h"
#include "host/services/host_installation.h"
#include "host/services/host_settings.h"

namespace tavik {

TTavikProgramm::TTavikProgramm() = default;
TTavikProgramm::~TTavikProgramm() = default;

void TTavikProgramm::Init(const std::string& programId, TEnumProzessTypen processType, TPVR_InstanceCount,
                          int, bool checkInstallation) {
    FProgramId = programId;
    FProcessType = processType;
    if (checkInstallation) CheckHostInstallation();
    FInitialized = true;
}

TRTyp TTavikProgramm::GetRTyp() const {
    const auto text = GetDBConnector().GetSetting(kRTypSetting);
    if (!text) return kDefaultRTyp;
    const auto value = ParseRTyp(*text);
    if (!value) throw EHostInstallation(RTypRefusal(*text));
    return *value;
}

std::string TTavikProgramm::GetTextMandant() const { return GetDBConnector().GetSetting("client").value_or(""); }

void TTavikProgramm::ShowException(const std::exception& error, bool) { Frontend().ShowException(error.what()); }

TTavikFrontend& TTavikProgramm::Frontend() {
    if (!FFrontend) FFrontend = std::make_unique<TConsoleFrontend>();
    return *FFrontend;
}

std::unique_ptr<TTavikFrontend> TTavikProgramm::SetFrontend(std::unique_ptr<TTavikFrontend> frontend) {
    std::swap(frontend, FFrontend);
    return frontend;
}

void TTavikProgramm::Reset() {
    FProgramId.clear();
    FProcessType = TEnumProzessTypen::ptDialog;
    FSilent = false;
    FInitialized = false;
    FOptions = {};
    FFrontend.reset();
}

TTavikProgramm& TavikProgramm() {
    static TTavikProgramm instance;
    return instance;
}

void TavikHinweisBox(const std::string& text, const std::string& caption) {
    TavikProgramm().Frontend().ShowNotice(text, caption);
}

int TavikMessageBox(const std::string& text, const std::string& caption, int buttons, std::uint32_t colour) {
    return TavikProgramm().Frontend().AskQuestion(text, caption, buttons, colour);
}

void TavikInfoProcessMessages(int milliseconds) { TavikProgramm().Frontend().ProcessMessages(milliseconds); }

}  // namespace tavik
