#pragma once
// What the workbench's commands share: the task module and its engine object, files by name,
// and the notices, questions and failure reports of the page.
#include <QString>

#include <string>

#include "host/engine/archiv_format.h"

namespace vendrask {

class TdmOlvexArchiv;

// The task module; throws when start-up did not create it.
TdmOlvexArchiv& WorkbenchModule();
// The task module's engine object; none when there is no module or no object.
tavik::TArchivFormatAbstract* CurrentArchiv();
// The engine object only while it belongs to the archive the user chose (an archive run of the
// cleanup pages replaces it with one of its own).
tavik::TArchivFormatAbstract* ChosenArchiv();

// A regular file of that name exists (an empty name never does).
bool FileExists(const std::string& name);

void Notice(const char* text);
// The Yes/No question; true for Yes.
bool Confirmed(const char* text);
// Hands an engine command's failure to the error service: what was not done, and why, and for
// a full disk what the user can do. A command the user aborted is no failure and is not handed
// on. notice, when given, is shown for a failure; a full disk shows its advice instead.
void ReportFailure(const char* context, const std::string& what, const tavik::TArchivFormatAbstract& archiv,
                   const char* notice = nullptr);
// The same for a failure of kind whose reason what says already.
void ReportFailure(const char* context, const std::string& what, tavik::TErrorKind kind, const char* notice);

// The notice after a failed check of the archive, chosen by the failure's kind.
const char* VerifyFailureNotice(tavik::TErrorKind kind);

// While it lives, extraction asks the user once per file before it replaces a different one
// (Ja / Nein / Ja, alle / Nein, keine).
class TAskBeforeReplacing {
public:
    explicit TAskBeforeReplacing(tavik::TArchivFormatAbstract& archiv);
    ~TAskBeforeReplacing();
    TAskBeforeReplacing(const TAskBeforeReplacing&) = delete;
    TAskBeforeReplacing& operator=(const TAskBeforeReplacing&) = delete;

private:
    tavik::TArchivFormatAbstract& FArchiv;
};

}  // namespace vendrask
