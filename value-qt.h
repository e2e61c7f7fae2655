#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <string>

#include "hublet/value.h"

namespace bg {

// The host's value with Qt kinds: a text and integer or floating-point
// rectangles, points and sizes, each with a one-line text form
// ("[rect]x:1;y:2;w:3;h:4"). Adds no data: x, y, w and h live in the base's
// four slots (a point in x/y, a size in w/h) and the text in the base's text.
class ValueQt : public Value {
public:
    enum QtKind : int {
        kQStr = 13,
        kRectF = 14,
        kRect = 15,
        kPointF = 16,
        kPoint = 17,
        kSizeF = 18,
        kSize = 19,
    };
    // Longest tag ("pointf") and field name a reader accepts.
    static constexpr size_t kMaxTagLength = 6;
    static constexpr size_t kMaxFieldNameLength = 1;
    // Numeric forms are cut to this many characters, as a 128-byte buffer would.
    static constexpr size_t kMaxNumericText = 127;

    // A text value (kind 13) holding the string's UTF-8.
    explicit ValueQt(const QString& text);
    ~ValueQt() override;

    std::string write() const override;
    bool read(const char* text) override;

    // Views of the stored kinds; meaningful only for the matching kind.
    QString toQString() const { return QString::fromStdString(text_); }
    QRect rect() const;
    QRectF rectF() const;
    QPoint point() const { return QPoint(slots_[0].i, slots_[1].i); }
    QPointF pointF() const { return QPointF(slots_[0].d, slots_[1].d); }
    QSize size() const { return QSize(slots_[2].i, slots_[3].i); }
    QSizeF sizeF() const { return QSizeF(slots_[2].d, slots_[3].d); }

private:
    bool readNumbers(int kind, const char* body);
};

}  // namespace bg
