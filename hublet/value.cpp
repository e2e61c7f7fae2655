#include "hublet/value.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace bg {

Value::Value() {
    zero();
}

Value::Value(bool b) : Value() {
    kind_ = kBool;
    slots_[0].i = b ? 1 : 0;
}

Value::Value(int i) : Value() {
    kind_ = kInt;
    slots_[0].i = i;
}

Value::Value(double d) : Value() {
    kind_ = kDouble;
    slots_[0].d = d;
}

Value::Value(const char* text) : Value() {
    kind_ = kString;
    text_ = text ? text : "";
}

Value::Value(const std::string& text) : Value() {
    kind_ = kString;
    text_ = text;
}

Value::Value(void* pointer) : Value() {
    kind_ = kPointer;
    pointer_ = pointer;
}

Value::~Value() = default;

void Value::zero() {
    kind_ = kNull;
    for (Slot& s : slots_)
        s.d = 0.0;
    text_.clear();
    pointer_ = nullptr;
}

int Value::setstr(size_t size, const char* format, ...) {
    if (size == 0 || !format) {
        text_.clear();
        return 0;
    }
    std::vector<char> buf(size);
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buf.data(), size, format, ap);
    va_end(ap);
    if (n < 0) {
        text_.clear();
        return 0;
    }
    text_.assign(buf.data(), std::strlen(buf.data()));
    return static_cast<int>(text_.size());
}

std::string Value::toStdString(const std::string& def) const {
    switch (kind_) {
        case kString:
        case 13:  // ValueQt's qstr keeps its text in the same place
            return text_;
        case kBool:
        case kInt:
            return std::to_string(slots_[0].i);
        case kDouble:
            return std::to_string(slots_[0].d);
        default:
            return def;
    }
}

bool Value::toBool(bool def) const {
    switch (kind_) {
        case kBool:
        case kInt:
            return slots_[0].i != 0;
        case kDouble:
            return slots_[0].d != 0.0;
        case kString:
            return text_ == "1" || text_ == "true";
        default:
            return def;
    }
}

int Value::toInt(int def) const {
    switch (kind_) {
        case kBool:
        case kInt:
            return slots_[0].i;
        case kDouble:
            return static_cast<int>(slots_[0].d);
        default:
            return def;
    }
}

double Value::toDouble(double def) const {
    switch (kind_) {
        case kBool:
        case kInt:
            return slots_[0].i;
        case kDouble:
            return slots_[0].d;
        default:
            return def;
    }
}

void* Value::toPointer() const {
    return kind_ == kPointer ? pointer_ : nullptr;
}

std::string Value::write() const {
    switch (kind_) {
        case kBool:
            return std::string("<bool>") + (slots_[0].i ? "1" : "0");
        case kInt:
            return "<int>" + std::to_string(slots_[0].i);
        case kDouble: {
            char buf[64];
            std::snprintf(buf, sizeof(buf), "<double>%.17g", slots_[0].d);
            return buf;
        }
        case kString:
            return "<string>" + text_;
        default:
            // Pointers are meaningful only inside this process.
            return "<null>";
    }
}

namespace {

bool StartsWith(const char* text, const char* prefix, const char** rest) {
    size_t n = std::strlen(prefix);
    if (std::strncmp(text, prefix, n) != 0)
        return false;
    *rest = text + n;
    return true;
}

bool ParseInt(const char* s, int* out) {
    if (*s == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

bool Value::read(const char* text) {
    zero();
    if (!text)
        return false;
    const char* rest = nullptr;
    int i = 0;
    if (StartsWith(text, "<string>", &rest)) {
        kind_ = kString;
        text_ = rest;
        return true;
    }
    if (StartsWith(text, "<bool>", &rest)) {
        if (std::strcmp(rest, "0") != 0 && std::strcmp(rest, "1") != 0)
            return false;
        kind_ = kBool;
        slots_[0].i = rest[0] == '1';
        return true;
    }
    if (StartsWith(text, "<int>", &rest)) {
        if (!ParseInt(rest, &i))
            return false;
        kind_ = kInt;
        slots_[0].i = i;
        return true;
    }
    if (StartsWith(text, "<double>", &rest)) {
        if (*rest == '\0')
            return false;
        char* end = nullptr;
        double d = std::strtod(rest, &end);
        if (*end != '\0')
            return false;
        kind_ = kDouble;
        slots_[0].d = d;
        return true;
    }
    return false;
}

}  // namespace bg
