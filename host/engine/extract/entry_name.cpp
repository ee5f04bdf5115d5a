#include "host/engine/extract/entry_name.h"

#include <algorithm>

namespace tavik {

namespace {

std::vector<std::string_view> Components(std::string_view text) {
    std::vector<std::string_view> result;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('/', start), text.size());
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

bool HasDriveLetter(std::string_view text) {
    return text.size() >= 2 && text[1] == ':' &&
           ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
}

// Were a backslash a separator, the name would be absolute or leave the target: a tree written
// here must stay inside also where it is carried to a system on which it separates.
bool ClimbsWithBackslashes(std::string_view name) {
    if (name.front() == '\\') return true;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(start, end - start) == "..") return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t follow = 0;
        unsigned char low = 0x80, high = 0xBF;  // the range of the first continuation byte
        if (c < 0x80) {
            follow = 0;
        } else if (c >= 0xC2 && c <= 0xDF) {
            follow = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            follow = 2;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            follow = 3;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (text.size() - i <= follow) return false;
        for (std::size_t k = 1; k <= follow; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
        }
        i += follow + 1;
    }
    return true;
}

std::string StripEntryParts(std::vector<std::string>& parts, std::size_t count) {
    if (count == 0) return {};
    if (parts.size() <= count) return "Der Eintrag benennt nur das Zielverzeichnis selbst und wird nicht entpackt.";
    parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(count));
    return {};
}

TReason RefusedEntryName(std::string_view name, std::vector<std::string>& parts, std::size_t count,
                         bool madeOnUnix) {
    std::string reason = CheckEntryName(name, parts, madeOnUnix);
    if (reason.empty()) reason = StripEntryParts(parts, count);
    return {std::move(reason), TErrorKind::RefusedEntry};
}

bool IsCurrentDirectoryName(std::string_view name) {
    if (name.empty() || name.front() == '/') return false;
    for (const std::string_view part : Components(name))
        if (!part.empty() && part != ".") return false;
    return true;
}

std::string CheckEntryName(std::string_view name, std::vector<std::string>& parts, bool madeOnUnix) {
    parts.clear();
    if (name.empty()) return "Der Eintrag hat keinen Namen.";
    for (const char c : name) {
        if (c == '\0' || (!madeOnUnix && (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)))
            return "Der Name enthält Steuerzeichen und wird nicht entpackt.";
    }
    if (name.find('\\') != std::string_view::npos && (!madeOnUnix || ClimbsWithBackslashes(name)))
        return "Der Name enthält einen umgekehrten Schrägstrich und wird nicht entpackt.";
    if (name.front() == '/') return "Der Name ist ein absoluter Pfad und wird nicht entpackt.";
    if (HasDriveLetter(name)) return "Der Name enthält eine Laufwerksangabe und wird nicht entpackt.";
    for (const std::string_view part : Components(name)) {
        if (part.empty() || part == ".") continue;
        if (part == "..")
            return "Der Name verweist mit „..“ aus dem Zielverzeichnis hinaus und wird nicht entpackt.";
        parts.emplace_back(part);
    }
    if (parts.empty()) return "Der Eintrag hat keinen verwendbaren Namen.";
    return {};
}

std::string CheckLinkTarget(const std::vector<std::string>& linkParts, std::string_view target,
                            std::vector<std::string>* passed) {
    const std::string outside = "Die Verknüpfung zeigt aus dem Zielverzeichnis hinaus und wird nicht angelegt.";
    if (target.empty()) return "Die Verknüpfung hat kein Ziel.";
    for (const char c : target) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return "Das Ziel der Verknüpfung enthält Steuerzeichen.";
    }
    if (target.front() == '/' || target.find('\\') != std::string_view::npos || HasDriveLetter(target))
        return outside;
    // The directories the link is in exist and are none of them links: the extraction has just
    // walked them. Only those the target names itself may turn out to be links.
    std::vector<std::string_view> path;
    if (!linkParts.empty()) path.assign(linkParts.begin(), linkParts.end() - 1);
    std::size_t ownDepth = path.size();
    for (const std::string_view part : Components(target)) {
        if (part.empty() || part == ".") continue;
        if (part != "..") {
            path.push_back(part);
            continue;
        }
        if (path.empty()) return outside;
        if (path.size() > ownDepth && passed != nullptr) {
            std::string joined;
            for (std::size_t i = 0; i < path.size(); ++i) {
                joined += (i == 0 ? "" : "/") + std::string(path[i]);
                if (i >= ownDepth) passed->push_back(joined);
            }
        }
        path.pop_back();
        ownDepth = std::min(ownDepth, path.size());
    }
    return {};
}

void SplitEntryName(std::string_view name, std::string& relDir, std::string& fileName, bool& directory) {
    directory = !name.empty() && name.back() == '/';
    while (!name.empty() && name.back() == '/') name.remove_suffix(1);
    const std::size_t slash = name.rfind('/');
    if (slash == std::string_view::npos) {
        relDir.clear();
        fileName = name;
    } else {
        relDir = name.substr(0, slash);
        fileName = name.substr(slash + 1);
    }
}

}  // namespace tavik
