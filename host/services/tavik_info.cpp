#include "host/services/tavik_info.h"

#include <cstdio>

#include "host/services/exceptions.h"
#include "host/services/tavik_programm.h"

namespace tavik {

namespace {

std::string FormatTime(TDateTime time) {
    const TDateParts p = DecodeDateTime(time);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute,
                  p.Second);
    return text;
}

}  // namespace

void TTavikInfo::RegisterException(const std::string& context, const std::exception& error, bool) {
    Record({Now(), context, error.what()});
}

void TTavikInfo::RegisterFailure(const std::string& context, const std::string& message, bool quiet) {
    Record({Now(), context, message, quiet});
}

void TTavikInfo::RegisterNotice(const std::string& context, const std::string& message) {
    std::fprintf(stderr, "%s %s: Hinweis: %s\n", FormatTime(Now()).c_str(), context.c_str(), message.c_str());
    std::fflush(stderr);
}

void TTavikInfo::Record(TFailure failure) {
    ++FFailureCount;
    std::fprintf(stderr, "%s %s: %s\n", FormatTime(failure.Time).c_str(), failure.Context.c_str(),
                 failure.Message.c_str());
    std::fflush(stderr);
    FPending.push_back(failure);
    TavikProgramm().Frontend().ShowFailure(FPending.back());
}

void TTavikInfo::FehlerRaise(const std::string&, int, const std::string&, const std::string&, int, int) {
    if (FPending.empty()) return;
    std::string message;
    for (const auto& failure : FPending) {
        if (!message.empty()) message += "\n";
        message += failure.Message;
    }
    FPending.clear();
    throw EOlvex(message);
}

void TTavikInfo::FehlerTerminate(const std::string&, int, const std::string&, const std::string&, int, int) {
    std::fflush(stderr);
}

void TTavikInfo::ResetErrorSpezNoWrite(int, const std::string&, const std::string&, int, int) {
    if (FPending.empty()) return;
    FPending.pop_back();
    --FFailureCount;
}

std::uint32_t TTavikInfo::GetMeldungsFarbe(int kind) const {
    switch (kind) {
        case 1: return 0xFFF4CC;  // warning: light amber
        case 2: return 0xE8F0FF;  // question: light blue
        case 3: return 0xFFE0E0;  // error: light red
        default: return 0xFFFFFF;
    }
}

void TTavikInfo::Reset() {
    FPending.clear();
    FFailureCount = 0;
}

TTavikInfo& TavikInfo() {
    static TTavikInfo instance;
    return instance;
}

}  // namespace tavik
