#include "task/candidate_rules.h"

namespace vendrask {

using namespace tavik;

namespace {

const char* const kNoteNotNeeded = "Datei wird nicht benötigt.";

std::string NoteOlderThan(int days) { return "Datei ist älter als " + std::to_string(days) + " Tage."; }

std::string AgeReason(bool old, int days) {
    return old ? "älter als " + std::to_string(days) + " Tage" : "nicht älter als " + std::to_string(days) + " Tage";
}

}  // namespace

bool IsOlderThan(TDateTime modified, TDateTime today, int days) { return modified < IncDays(DateOf(today), -days); }

TDecision DecideArchive(const TObjektRTypExist& object, TDateTime modified, TDateTime today) {
    TDecision decision;
    decision.Note = (object.Archive && object.Days > 0) ? NoteOlderThan(object.Days) : kNoteNotNeeded;
    if (!object.Exists) {
        decision.Candidate = true;
        decision.Reason = "der Objekttabelle unbekannt";
    } else if (!object.Archive) {
        decision.Reason = "bekannt, wird nicht archiviert";
    } else if (object.Days <= 0) {
        decision.Reason = "bekannt, ohne Altersgrenze";
    } else {
        const bool old = IsOlderThan(modified, today, object.Days);
        decision.Candidate = old;
        decision.Reason = "bekannt, " + AgeReason(old, object.Days);
    }
    return decision;
}

TDecision DecideDelete(const TObjektRTypExist& object, TDateTime modified, TDateTime today) {
    TDecision decision;
    decision.Note = object.Days > 0 ? NoteOlderThan(object.Days) : kNoteNotNeeded;
    if (!object.Exists) {
        decision.Candidate = true;
        decision.Reason = "der Objekttabelle unbekannt";
    } else if (object.Days <= 0) {
        decision.Reason = "bekannt, ohne Altersgrenze";
    } else {
        const bool old = IsOlderThan(modified, today, object.Days);
        decision.Candidate = old;
        decision.Reason = "bekannt, " + AgeReason(old, object.Days);
    }
    return decision;
}

}  // namespace vendrask
