#include "value-qt.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace bg {

static_assert(sizeof(ValueQt) == sizeof(Value), "ValueQt must add no data to the host's value");

namespace {

// Numbers are written and read without the C library's locale: a Qt program
// on Linux runs under the user's LC_NUMERIC, where "%lf" may write "1,500000"
// and no longer read "1.5".
std::string FormatDouble(double v) {
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof(buf), v, std::chars_format::fixed, 6);
    if (res.ec != std::errc())
        return "0.000000";
    return std::string(buf, res.ptr);
}

// Field "<name>:<number>" as scanf's "%[^:]:%d" reads it, with the name bounded
// to one character: "%[^:]" takes at least one non-':' character, "%d" and
// "%lf" skip leading white space, the number must fit.
bool ReadFieldName(const char** p) {
    size_t n = 0;
    while ((*p)[n] != '\0' && (*p)[n] != ':') {
        if (++n > ValueQt::kMaxFieldNameLength)
            return false;
    }
    if (n == 0 || (*p)[n] != ':')
        return false;
    *p += n + 1;
    return true;
}

void SkipSpace(const char** p) {
    while (**p != '\0' && std::isspace(static_cast<unsigned char>(**p)))
        ++*p;
}

bool ReadInt(const char** p, int32_t* out) {
    SkipSpace(p);
    const char* s = *p;
    if (*s == '+' && *++s == '-')
        return false;
    int64_t v = 0;
    auto res = std::from_chars(s, s + std::strlen(s), v);
    if (res.ec != std::errc() || res.ptr == s || v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = static_cast<int32_t>(v);
    *p = res.ptr;
    return true;
}

bool ReadDouble(const char** p, double* out) {
    SkipSpace(p);
    const char* s = *p;
    if (*s == '+' && *++s == '-')
        return false;
    auto res = std::from_chars(s, s + std::strlen(s), *out);
    if (res.ec != std::errc() || res.ptr == s)
        return false;
    *p = res.ptr;
    return true;
}

bool ReadLiteral(const char** p, char c) {
    if (**p != c)
        return false;
    ++*p;
    return true;
}

std::string Cut(std::string text) {
    if (text.size() > ValueQt::kMaxNumericText)
        text.resize(ValueQt::kMaxNumericText);
    return text;
}

}  // namespace

ValueQt::ValueQt(const QString& text) : Value() {
    const QByteArray utf8 = text.toUtf8();
    setstr(static_cast<size_t>(utf8.size()) + 1, "%s", utf8.constData());
    fast_set(kQStr);
}

ValueQt::~ValueQt() = default;

QRect ValueQt::rect() const {
    return QRect(slots_[0].i, slots_[1].i, slots_[2].i, slots_[3].i);
}

QRectF ValueQt::rectF() const {
    return QRectF(slots_[0].d, slots_[1].d, slots_[2].d, slots_[3].d);
}

std::string ValueQt::write() const {
    const Slot* s = slots_;
    auto i = [](int32_t v) { return std::to_string(v); };
    auto d = [](double v) { return FormatDouble(v); };
    switch (kind_) {
        case kQStr:
            return "[qstr]" + text_;
        case kRectF:
            return Cut("[rectf]x:" + d(s[0].d) + ";y:" + d(s[1].d) + ";w:" + d(s[2].d) +
                       ";h:" + d(s[3].d));
        case kRect:
            return Cut("[rect]x:" + i(s[0].i) + ";y:" + i(s[1].i) + ";w:" + i(s[2].i) +
                       ";h:" + i(s[3].i));
        case kPointF:
            return Cut("[pointf]x:" + d(s[0].d) + ";y:" + d(s[1].d));
        case kPoint:
            return Cut("[point]x:" + i(s[0].i) + ";y:" + i(s[1].i));
        case kSizeF:
            return Cut("[sizef]w:" + d(s[2].d) + ";h:" + d(s[3].d));
        case kSize:
            return Cut("[size]w:" + i(s[2].i) + ";h:" + i(s[3].i));
        default:
            return Value::write();
    }
}

// Reads `count` ";"-separated fields of one number type into the slots from
// `first` on; the kind is set only when every field converts.
bool ValueQt::readNumbers(int kind, const char* body) {
    const bool floating = kind == kRectF || kind == kPointF || kind == kSizeF;
    const int count = (kind == kRectF || kind == kRect) ? 4 : 2;
    const int first = (kind == kSizeF || kind == kSize) ? 2 : 0;
    Slot parsed[4] = {};
    const char* p = body;
    for (int n = 0; n < count; ++n) {
        if (n > 0 && !ReadLiteral(&p, ';'))
            return false;
        if (!ReadFieldName(&p))
            return false;
        bool ok = floating ? ReadDouble(&p, &parsed[n].d) : ReadInt(&p, &parsed[n].i);
        if (!ok)
            return false;
    }
    for (int n = 0; n < count; ++n)
        slots_[first + n] = parsed[n];
    kind_ = kind;
    return true;
}

bool ValueQt::read(const char* text) {
    zero();
    if (!text || std::strlen(text) <= 3)
        return false;
    static const char kVariant[] = "<variant>";
    if (std::strncmp(text, kVariant, sizeof(kVariant) - 1) == 0) {
        text_ = text + sizeof(kVariant) - 1;
        return true;
    }
    const char* close = std::strchr(text, ']');
    if (!close || std::strncmp(text, "<null>", 6) == 0)
        return false;
    // The tag runs from the second character to the first ']'. Anything
    // longer than the longest known tag cannot be one of ours.
    const size_t tagLength = static_cast<size_t>(close - (text + 1));
    if (tagLength >= 1 && tagLength <= kMaxTagLength) {
        const std::string tag(text + 1, tagLength);
        const char* body = close + 1;
        switch (tag[0]) {
            case 'q':
                if (tag == "qstr") {
                    text_ = body;
                    kind_ = kQStr;
                }
                break;
            case 'r':
                if (tag == "rectf")
                    readNumbers(kRectF, body);
                if (tag == "rect")
                    readNumbers(kRect, body);
                break;
            case 'p':
                if (tag == "pointf")
                    readNumbers(kPointF, body);
                if (tag == "point")
                    readNumbers(kPoint, body);
                break;
            case 's':
                if (tag == "sizef")
                    readNumbers(kSizeF, body);
                if (tag == "size")
                    readNumbers(kSize, body);
                break;
            default:
                break;
        }
    }
    if (kind_ != kNull)
        return true;
    return Value::read(text);
}

}  // namespace bg
