#pragma once
// The error service. Every method of the program runs its body in a guard that hands a caught
// exception to RegisterException and returns normally; the service writes each failure to
// standard error, shows it through the front end, and keeps it until start-up raises it
// (FehlerRaise). In automatic mode the count of failures decides the exit status.
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/services/date_time.h"

namespace tavik {

struct TFailure {
    TDateTime Time{};
    std::string Context;
    std::string Message;
    // The window that caused it tells the user itself: the front end keeps it without coming
    // forward with it.
    bool Quiet = false;
};

class TTavikInfo {
public:
    void RegisterException(const std::string& context, const std::exception& error, bool flag);
    // Registers a failure that is not an exception (an engine command reporting false, say).
    // quiet: counted and written like any other, but the front end does not bring it forward
    // (TFailure::Quiet); the caller shows it where the user looks.
    void RegisterFailure(const std::string& context, const std::string& message, bool quiet = false);
    // Something the administrator must learn of that is no failure (a file kept on purpose, a
    // wait): written to standard error like a failure, but not counted and not raised.
    void RegisterNotice(const std::string& context, const std::string& message);

    // Raises the failures registered since the last raise as one exception, if there are any.
    void FehlerRaise(const std::string& context, int code, const std::string& text1, const std::string& text2,
                     int value1, int value2);
    // Ends a destroy handler; writes nothing more, the failures were reported when registered.
    void FehlerTerminate(const std::string& context, int code, const std::string& text1, const std::string& text2,
                         int value1, int value2);
    // Drops the most recent failure that has not been raised, without reporting it further.
    void ResetErrorSpezNoWrite(int code, const std::string& text1, const std::string& text2, int value1, int value2);

    // Colour (0xRRGGBB) of the message kind: 0 information, 1 warning, 2 question, 3 error.
    std::uint32_t GetMeldungsFarbe(int kind) const;

    int FailureCount() const { return FFailureCount; }
    const std::vector<TFailure>& PendingFailures() const { return FPending; }
    // Forgets everything; for a fresh start within one process (tests).
    void Reset();

private:
    void Record(TFailure failure);

    std::vector<TFailure> FPending;
    int FFailureCount = 0;
};

TTavikInfo& TavikInfo();

// The guard every method uses: runs body, hands any exception to RegisterException(context,
// error, flag) and returns failure instead.
template <class Body, class Result>
Result Guarded(const char* context, Result failure, Body&& body, bool flag = true) {
    try {
        return body();
    } catch (const std::exception& error) {
        TavikInfo().RegisterException(context, error, flag);
    } catch (...) {
        TavikInfo().RegisterException(context, std::runtime_error("Unbekannter Fehler"), flag);
    }
    return failure;
}

template <class Body>
void Guarded(const char* context, Body&& body, bool flag = true) {
    try {
        body();
    } catch (const std::exception& error) {
        TavikInfo().RegisterException(context, error, flag);
    } catch (...) {
        TavikInfo().RegisterException(context, std::runtime_error("Unbekannter Fehler"), flag);
    }
}

}  // namespace tavik
