#include "hublet/plain-text.h"

#include <cstdint>
#include <cstdio>

namespace bg {
namespace {

const char kEllipsis[] = "\xE2\x80\xA6";

// Length of the valid UTF-8 sequence at p (1 to 4), or 0 when the bytes there
// are no valid sequence (overlong forms and surrogates included).
size_t SequenceLength(const unsigned char* p, size_t left, uint32_t* code) {
    const unsigned char c = p[0];
    if (c < 0x80) {
        *code = c;
        return 1;
    }
    size_t n;
    uint32_t min;
    if ((c & 0xE0) == 0xC0) {
        n = 2, min = 0x80, *code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, min = 0x800, *code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, min = 0x10000, *code = c & 0x07;
    } else {
        return 0;
    }
    if (left < n)
        return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        *code = (*code << 6) | (p[i] & 0x3F);
    }
    if (*code < min || *code > 0x10FFFF || (*code >= 0xD800 && *code <= 0xDFFF))
        return 0;
    return n;
}

// Characters that move the cursor, end a line, start a terminal sequence or
// reorder what follows them on screen.
bool IsControl(uint32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069) || code == 0x2028 || code == 0x2029;
}

void AppendEscape(uint32_t code, std::string* out) {
    char buf[12];
    switch (code) {
        case '\n':
            out->append("\\n");
            return;
        case '\r':
            out->append("\\r");
            return;
        case '\t':
            out->append("\\t");
            return;
        default:
            break;
    }
    if (code < 0x100)
        std::snprintf(buf, sizeof(buf), "\\x%02x", static_cast<unsigned>(code));
    else
        std::snprintf(buf, sizeof(buf), "\\u%04x", static_cast<unsigned>(code));
    out->append(buf);
}

}  // namespace

std::string EscapeControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t left = text.size();
    while (left > 0) {
        uint32_t code = 0;
        size_t n = SequenceLength(p, left, &code);
        if (n == 0) {
            // A stray byte: shown by its value, never passed on.
            AppendEscape(p[0], &out);
            n = 1;
        } else if (IsControl(code)) {
            AppendEscape(code, &out);
        } else {
            out.append(reinterpret_cast<const char*>(p), n);
        }
        p += n;
        left -= n;
    }
    return out;
}

std::string CutText(const std::string& text, size_t maxChars) {
    size_t chars = 0;
    size_t cut = 0;  // byte offset after maxChars - 1 characters
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (chars + 1 == maxChars)
            cut = i;
        if (++chars > maxChars)
            break;
    }
    if (chars <= maxChars)
        return text;
    if (maxChars == 0)
        return std::string();
    return text.substr(0, cut) + kEllipsis;
}

std::string PlainText(const std::string& text, size_t maxChars) {
    return CutText(EscapeControls(text), maxChars);
}

}  // namespace bg
