// Reads arbitrary bytes as the directory list of the D switch and as command-line switches.
// Besides ending without a crash, the list must keep what it promises: no item holds a NUL,
// and the items written back as a quoted comma text read back to the same items.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/services/command_line.h"

namespace {

std::string Quoted(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += ',';
        text += '"';
        for (const char c : items[i]) {
            if (c == '"') text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> items = tavik::CommaTextToList(text);
    for (const auto& item : items)
        if (item.find('\0') != std::string::npos) std::abort();
    if (tavik::CommaTextToList(Quoted(items)) != items) std::abort();

    // The same bytes as a command line, split at NUL as the system splits argv.
    tavik::TParameters parameters{"vendrask"};
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        parameters.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (const char* name : {"A", "L", "AUTO", "D"}) (void)tavik::FindCmdLineSwitch(parameters, name);
    return 0;
}
