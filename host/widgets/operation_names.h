#pragma once
// What the user was doing when a failure was registered, in the user's words: the error
// service keeps the guard's context ("TfrmVendrask.spbSpanClick"), the failure list shows
// "Archivdatei aufteilen" and keeps the context for support.
#include <QString>

#include <string>

namespace tavik {

// The German name of the operation behind a guard's context; the context itself for one that
// has no name (a support person still finds the place).
QString OperationName(const std::string& context);
// Whether the context has a German name.
bool HasOperationName(const std::string& context);

}  // namespace tavik
