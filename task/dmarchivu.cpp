#include "task/dmarchivu.h"

#include "host/services/fs_names.h"
#include "host/services/paths.h"
#include "host/services/tavik_info.h"

namespace vendrask {

using namespace tavik;

TdmOlvexArchiv* dmOlvexArchiv = nullptr;

TdmOlvexArchiv::TdmOlvexArchiv(const TParameters& parameters) : FParameters(parameters) {
    ConfigureProgressDialogs();
    dmOlvexArchiv = this;
    DataModuleCreate(this);
}

TdmOlvexArchiv::~TdmOlvexArchiv() {
    DataModuleDestroy(this);
    if (dmOlvexArchiv == this) dmOlvexArchiv = nullptr;
}

void TdmOlvexArchiv::ConfigureProgressDialogs() {
    pgdDelete.Caption = "Dateien löschen ...";
    pgdDelete.ElementSpacing = 15;
    pgdArchiv.Caption = "Dateien archivieren ...";
    pgdArchiv.ElementSpacing = 10;
    for (auto* dialog : {&pgdDelete, &pgdArchiv}) {
        dialog->AbortButton = false;
        dialog->AbortBtnCaption = "Abbrechen";
        dialog->CountingEnabled = true;
        dialog->DialogPosition = TDialogPosition::dpUser;
        dialog->DisableOwner = true;
        dialog->Width = 350;
        dialog->Height = 150;
    }
    pgdDelete.ProgressBars = {{"Bar0", TProgressKind::pkAnimation, TCommonAVI::aviDeleteFile, 0, 0, 0}};
    pgdArchiv.ProgressBars = {{"Item", TProgressKind::pkProgressBar, TCommonAVI::aviNone, 0, 0, 0},
                              {"Total", TProgressKind::pkProgressBar, TCommonAVI::aviNone, 0, 0, 0}};
    pgdArchiv.ProgressCounters = {
        {"CounterLine0", "Datei", TAlignment::taLeftJustify, TAlignment::taLeftJustify, 0, ""}};
}

void TdmOlvexArchiv::DataModuleCreate(void*) {
    Guarded("TdmOlvexArchiv.DataModuleCreate", [&] {
        AutoArchivieren = FindCmdLineSwitch(FParameters, "A");
        AutoDelete = FindCmdLineSwitch(FParameters, "L");
        AutoDirs.clear();
        if (AutoArchivieren || AutoDelete) {
            for (std::size_t i = 1; i < FParameters.size(); ++i) {
                const std::string& parameter = FParameters[i];
                if (parameter.size() < 2 || (parameter[1] != 'D' && parameter[1] != 'd')) continue;
                const std::string list = parameter.size() > 3 ? parameter.substr(3) : std::string();
                AutoDirs = CommaTextToList(UpperCaseAscii(list));
                break;
            }
        }
        FArchiv.reset();
        FDefaultArchFmt = TArchivFormat::Other;
        FROBJTab.reset();
        FTavikFSNames.reset();
        FSystemArch.reset();
        FSystemDel.reset();
        FOlvexRoot.clear();
        FRTyp = 1;
    });
}

void TdmOlvexArchiv::DataModuleDestroy(void*) {
    constexpr const char* context = "TdmOlvexArchiv.DataModuleDestroy";
    Guarded(context, [&] { FTavikFSNames.reset(); }, false);
    Guarded(context, [&] { FSystemArch.reset(); }, false);
    Guarded(context, [&] { FSystemDel.reset(); }, false);
    Guarded(context, [&] { FROBJTab.reset(); }, false);
    Guarded(context, [&] { FArchiv.reset(); }, false);
    Guarded(context, [&] { AutoDirs.clear(); }, false);
    TavikInfo().FehlerTerminate(context, 0, "", "", 0, 0);
}

TRObjTab* TdmOlvexArchiv::GetROBJTab() {
    return Guarded("TdmOlvexArchiv.GetROBJTab", static_cast<TRObjTab*>(nullptr), [&] {
        if (!FROBJTab) {
            FRTyp = TavikProgramm().GetRTyp();
            FROBJTab = std::make_unique<TRObjTab>(true);
        }
        return FROBJTab.get();
    });
}

TTavikFSNames* TdmOlvexArchiv::GetTavikFSNames() {
    return Guarded("TdmOlvexArchiv.GetTavikFSNames", static_cast<TTavikFSNames*>(nullptr), [&] {
        if (!FTavikFSNames) FTavikFSNames = std::make_unique<TTavikFSNames>();
        return FTavikFSNames.get();
    });
}

std::string TdmOlvexArchiv::OlvexRoot() {
    return Guarded("TdmOlvexArchiv.OlvexRoot", std::string(), [&] {
        if (FOlvexRoot.empty()) {
            std::string stadata = GetDirOlvexByName("stadata", "", true);
            FOlvexRoot = stadata.size() >= 7 ? stadata.substr(0, stadata.size() - 7) : std::string();
        }
        return FOlvexRoot;
    });
}

}  // namespace vendrask
