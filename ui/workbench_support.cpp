#include "ui/workbench_support.h"

#include <QFileInfo>

#include "host/services/exceptions.h"
#include "host/services/frontend.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "task/dmarchivu.h"
#include "ui/vendrasku.h"

namespace vendrask {

using namespace tavik;

TdmOlvexArchiv& WorkbenchModule() {
    if (!dmOlvexArchiv)
        throw EOlvex("Die Archivverwaltung ist nicht vollständig gestartet (das Aufgabenmodul fehlt). "
                     "Bitte das Programm neu starten.");
    return *dmOlvexArchiv;
}

TArchivFormatAbstract* CurrentArchiv() { return dmOlvexArchiv ? dmOlvexArchiv->Archiv() : nullptr; }

TArchivFormatAbstract* ChosenArchiv() {
    TArchivFormatAbstract* archiv = CurrentArchiv();
    if (!archiv || dmOlvexArchiv->ArchivFileName().empty()) return nullptr;
    return archiv->ArchivFile == dmOlvexArchiv->ArchivFileName() ? archiv : nullptr;
}

bool FileExists(const std::string& name) { return !name.empty() && QFileInfo(QString::fromStdString(name)).isFile(); }

void Notice(const char* text) { TavikHinweisBox(text, ""); }

bool Confirmed(const char* text) {
    return TavikMessageBox(text, "Frage", mbYesNo, TavikInfo().GetMeldungsFarbe(2)) == idYes;
}

namespace {

const char* const kDiskFull = "Auf dem Datenträger ist nicht genug Platz. Bitte schaffen Sie Platz oder wählen Sie "
                              "ein anderes Ziel und wiederholen Sie den Vorgang.";

}  // namespace

void ReportFailure(const char* context, const std::string& what, const TArchivFormatAbstract& archiv,
                   const char* notice) {
    const std::string& reason = archiv.LastError();
    ReportFailure(context, reason.empty() ? what : what + " " + reason, archiv.LastErrorKind(), notice);
}

void ReportFailure(const char* context, const std::string& what, TErrorKind kind, const char* notice) {
    // A command the user stopped did what the user wanted.
    if (kind == TErrorKind::Aborted) return;
    TavikInfo().RegisterFailure(context, kind == TErrorKind::DiskFull ? what + " " + kDiskFull : what);
    if (notice) Notice(kind == TErrorKind::DiskFull ? kDiskFull : notice);
}

const char* VerifyFailureNotice(TErrorKind kind) {
    switch (kind) {
        case TErrorKind::Aborted: return "Die Prüfung wurde abgebrochen; über den Zustand der Archivdatei ist nichts bekannt.";
        case TErrorKind::InputMissing:
            return "Die Archivdatei ist nicht mehr vorhanden; sie wurde inzwischen entfernt oder umbenannt.";
        case TErrorKind::LimitReached:
            return "Die Prüfung wurde an einer Schutzgrenze des Lesens angehalten; ein Schaden ist damit nicht "
                   "festgestellt. Die Einzelheiten stehen in der Fehlerliste.";
        case TErrorKind::PasswordMissing:
            return "Die Prüfung ist unvollständig: verschlüsselte Einträge wurden ohne Kennwort nicht geprüft.";
        case TErrorKind::WrongPassword:
            return "Falsches Kennwort: verschlüsselte Einträge ließen sich damit nicht entschlüsseln und wurden nicht "
                   "geprüft.";
        case TErrorKind::NoRights:
            return "Die Archivdatei kann nicht gelesen werden, weil die Zugriffsrechte fehlen; über ihren Zustand ist "
                   "nichts bekannt.";
        case TErrorKind::DiskFull:
        case TErrorKind::DamagedArchive:
        case TErrorKind::RefusedEntry:
        case TErrorKind::Other: break;
    }
    return "Die Archivdatei scheint defekt zu sein.";
}

TAskBeforeReplacing::TAskBeforeReplacing(TArchivFormatAbstract& archiv) : FArchiv(archiv) {
    FArchiv.OnConflict = [](TArchivFormatAbstract&, const std::string& path) {
        const std::string text = "Die Datei „" + path + "“ ist bereits vorhanden. Soll sie überschrieben werden?";
        switch (TavikMessageBox(text, "Frage", mbYesNoAll, TavikInfo().GetMeldungsFarbe(2))) {
            case idYes: return TArchivConflictAnswer::Yes;
            case idYesAll: return TArchivConflictAnswer::YesAll;
            case idNoAll: return TArchivConflictAnswer::NoAll;
            default: return TArchivConflictAnswer::No;
        }
    };
}

TAskBeforeReplacing::~TAskBeforeReplacing() { FArchiv.OnConflict = nullptr; }

}  // namespace vendrask
