#include "host/services/text_case.h"

#include <cstdint>

namespace tavik {

namespace {

// The lower-case code point of one upper-case letter, or the code point itself.
std::uint32_t LowerLetter(std::uint32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if ((c >= 0xC0 && c <= 0xDE) && c != 0xD7) return c + 0x20;  // À..Þ without ×
    if (c == 0x178) return 0xFF;                                    // Ÿ
    if (c == 0x1E9E) return 0xDF;                                   // ẞ
    // Latin Extended-A: pairs of upper (even) and lower (odd) case, with the run
    // Ĺ..Ň and Ź..Ž in odd/even order instead.
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return (c % 2 == 0) ? c + 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
    return c;
}

bool Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string FoldCaseUtf8(std::string_view text) {
    std::string out;
    FoldCaseUtf8Into(text, out);
    return out;
}

void FoldCaseUtf8Into(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        // Only the one-, two- and three-byte forms hold letters that fold here.
        if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
            ++i;
        } else if (c >= 0xC2 && c <= 0xDF && i + 1 < text.size() && Continuation(static_cast<unsigned char>(text[i + 1]))) {
            AppendUtf8(out, LowerLetter((c & 0x1Fu) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu)));
            i += 2;
        } else if (c == 0xE1 && i + 2 < text.size() && Continuation(static_cast<unsigned char>(text[i + 1])) &&
                   Continuation(static_cast<unsigned char>(text[i + 2]))) {
            const std::uint32_t point = (c & 0x0Fu) << 12 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6 |
                                        (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            AppendUtf8(out, LowerLetter(point));
            i += 3;
        } else {
            out += static_cast<char>(c);
            ++i;
        }
    }
}

}  // namespace tavik
