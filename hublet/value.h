#pragma once

#include <cstdint>
#include <string>

namespace bg {

// The module host's value: a kind code, four numeric slots and a text.
// Kind codes 13 to 19 are reserved for bg::ValueQt, which keeps its own
// meaning in the same storage.
class Value {
public:
    enum Kind : int {
        kNull = 0,
        kBool = 1,
        kInt = 2,
        kString = 3,
        kPointer = 4,
        kDouble = 5,
        // 13..19: bg::ValueQt
        kQtFirst = 13,
        kQtLast = 19,
    };

    Value();
    explicit Value(bool b);
    explicit Value(int i);
    explicit Value(double d);
    explicit Value(const char* text);
    explicit Value(const std::string& text);
    explicit Value(void* pointer);
    Value(const Value&) = default;
    Value& operator=(const Value&) = default;
    virtual ~Value();

    // Text form of the value; kinds this type does not know write "<null>".
    virtual std::string write() const;
    // Reads a text written by write(); false (and a null value) when it is not one.
    virtual bool read(const char* text);

    int kind() const { return kind_; }
    bool isNull() const { return kind_ == kNull; }

    // The text of a text kind (including ValueQt's qstr), the decimal form of a
    // number, else `def`.
    std::string toStdString(const std::string& def = std::string()) const;
    bool toBool(bool def = false) const;
    int toInt(int def = 0) const;
    double toDouble(double def = 0.0) const;
    void* toPointer() const;

    // Sets the kind without touching the storage.
    void fast_set(int kind) { kind_ = kind; }
    // Kind 0, every slot 0, empty text.
    void zero();
    // Formats the text with printf rules into at most `size` bytes (the
    // terminating NUL included), like snprintf; returns the stored length.
    int setstr(size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
    const std::string& str() const { return text_; }

protected:
    union Slot {
        int32_t i;
        double d;
    };
    int kind_ = kNull;
    Slot slots_[4];  // x, y, w, h
    std::string text_;
    void* pointer_ = nullptr;
};

}  // namespace bg
