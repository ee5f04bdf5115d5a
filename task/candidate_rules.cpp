#include "task/candidate_rules.h"

namespace vendrask {

using namespace tavik;

namespace {

const char* const kNoteNotNeeded = "Datei wird nicht benötigt.";

std::string NoteOlderThan(int days) { return "Datei ist älter als " + std::to_string(days) + " Tage."; }

TDecision ByAge(const TObjektRTypExist& object, TDateTime modified, TDateTime today) {
    const bool old = IsOlderThan(modified, today, object.Days);
    return {old, old ? TReason::Old : TReason::NotOld};
}

}  // namespace

bool IsOlderThan(TDateTime modified, TDateTime today, int days) { return modified < IncDays(DateOf(today), -days); }

TDecision DecideArchive(const TObjektRTypExist& object, TDateTime modified, TDateTime today) {
    if (!object.Exists) return {true, TReason::Unknown};
    if (!object.Archive) return {false, TReason::NotArchived};
    if (object.Days <= 0) return {false, TReason::NoLimit};
    return ByAge(object, modified, today);
}

TDecision DecideDelete(const TObjektRTypExist& object, TDateTime modified, TDateTime today, bool ownArchive) {
    if (!object.Exists) return ownArchive ? TDecision{false, TReason::OwnArchive} : TDecision{true, TReason::Unknown};
    if (object.Days <= 0) return {false, TReason::NoLimit};
    return ByAge(object, modified, today);
}

std::string ArchiveNote(const TObjektRTypExist& object) {
    return (object.Archive && object.Days > 0) ? NoteOlderThan(object.Days) : kNoteNotNeeded;
}

std::string DeleteNote(const TObjektRTypExist& object) {
    return object.Days > 0 ? NoteOlderThan(object.Days) : kNoteNotNeeded;
}

std::string ReasonText(TReason reason, int days) {
    switch (reason) {
        case TReason::Unknown: return "der Objekttabelle unbekannt";
        case TReason::NotArchived: return "bekannt, wird nicht archiviert";
        case TReason::NoLimit: return "bekannt, ohne Altersgrenze";
        case TReason::Old: return "bekannt, älter als " + std::to_string(days) + " Tage";
        case TReason::NotOld: return "bekannt, nicht älter als " + std::to_string(days) + " Tage";
        case TReason::OwnArchive:
            return "ein Archiv des Archivierungslaufs; gelöscht wird es nur nach einer Regel der Objekttabelle, "
                   "die es nennt, wenn es älter als deren Tage ist";
    }
    return "";
}

}  // namespace vendrask
