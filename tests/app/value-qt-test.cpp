#include "value-qt.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "hublet/value-store.h"

namespace {

bg::ValueQt Read(const char* text, bool* ok = nullptr) {
    bg::ValueQt v(QString("previous"));
    const bool result = v.read(text);
    if (ok)
        *ok = result;
    return v;
}

TEST(ValueQtTest, TextKindFromAQtString) {
    bg::ValueQt v(QString::fromUtf8("ZuCam[书房] \"x\"\n"));
    EXPECT_EQ(v.kind(), bg::ValueQt::kQStr);
    EXPECT_EQ(v.write(), "[qstr]ZuCam[书房] \"x\"\n");
    EXPECT_EQ(v.toQString(), QString::fromUtf8("ZuCam[书房] \"x\"\n"));
    EXPECT_EQ(v.toStdString(), "ZuCam[书房] \"x\"\n");
    EXPECT_EQ(bg::ValueQt(QString()).write(), "[qstr]");
}

TEST(ValueQtTest, TheHostReadsTheDeviceNameBackAsItsText) {
    bg::ValueStore store;
    store.set("zucam_device_name", bg::ValueQt(QString::fromUtf8("ZuCam[桌面]")));
    EXPECT_EQ(store.get("zucam_device_name").toStdString(), "ZuCam[桌面]");
}

TEST(ValueQtTest, RectRoundTrip) {
    bool ok = false;
    bg::ValueQt v = Read("[rect]x:1;y:2;w:3;h:4", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(v.kind(), bg::ValueQt::kRect);
    EXPECT_EQ(v.rect(), QRect(1, 2, 3, 4));
    EXPECT_EQ(v.write(), "[rect]x:1;y:2;w:3;h:4");
    EXPECT_EQ(Read("[rect]x:-2147483648;y:0;w:2147483647;h:-1").write(),
              "[rect]x:-2147483648;y:0;w:2147483647;h:-1");
}

TEST(ValueQtTest, FloatingKindsWriteSixDecimals) {
    bg::ValueQt p = Read("[pointf]x:1.5;y:2");
    EXPECT_EQ(p.kind(), bg::ValueQt::kPointF);
    EXPECT_EQ(p.pointF(), QPointF(1.5, 2));
    EXPECT_EQ(p.write(), "[pointf]x:1.500000;y:2.000000");
    bg::ValueQt r = Read("[rectf]x:-0.25;y:1e2;w: 3;h:+4.125");
    EXPECT_EQ(r.kind(), bg::ValueQt::kRectF);
    EXPECT_EQ(r.write(), "[rectf]x:-0.250000;y:100.000000;w:3.000000;h:4.125000");
    bg::ValueQt s = Read("[sizef]w:640;h:480.5");
    EXPECT_EQ(s.kind(), bg::ValueQt::kSizeF);
    EXPECT_EQ(s.sizeF(), QSizeF(640, 480.5));
    EXPECT_EQ(s.write(), "[sizef]w:640.000000;h:480.500000");
}

TEST(ValueQtTest, NumbersIgnoreTheUsersLocale) {
    // A Qt program on Linux runs under the user's LC_NUMERIC.
    const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    bg::ValueQt p = Read("[pointf]x:1.5;y:2");
    EXPECT_EQ(p.write(), "[pointf]x:1.500000;y:2.000000");
    std::setlocale(LC_NUMERIC, "C");
    if (!german)
        GTEST_SKIP() << "de_DE.UTF-8 not installed; checked in the C locale only";
}

TEST(ValueQtTest, PointsAndSizesShareTheRectanglesSlots) {
    bg::ValueQt v = Read("[rect]x:1;y:2;w:3;h:4");
    EXPECT_EQ(v.point(), QPoint(1, 2));
    EXPECT_EQ(v.size(), QSize(3, 4));
    bg::ValueQt size = Read("[size]w:7;h:8");
    EXPECT_EQ(size.kind(), bg::ValueQt::kSize);
    EXPECT_EQ(size.size(), QSize(7, 8));
    EXPECT_EQ(size.point(), QPoint(0, 0));
    size.fast_set(bg::ValueQt::kRect);
    EXPECT_EQ(size.write(), "[rect]x:0;y:0;w:7;h:8");
    bg::ValueQt point = Read("[point]x:-5;y:6");
    EXPECT_EQ(point.kind(), bg::ValueQt::kPoint);
    EXPECT_EQ(point.write(), "[point]x:-5;y:6");
}

TEST(ValueQtTest, FieldNamesAreIgnoredButBounded) {
    bg::ValueQt v = Read("[size]a:3;b:4");
    EXPECT_EQ(v.kind(), bg::ValueQt::kSize);
    EXPECT_EQ(v.write(), "[size]w:3;h:4");
    bool ok = true;
    Read("[size]wide:3;h:4", &ok);
    EXPECT_FALSE(ok);
    Read("[size]:3;h:4", &ok);  // a name needs one character
    EXPECT_FALSE(ok);
    Read("[rect]x:1;y:2;w:3;hh:4", &ok);
    EXPECT_FALSE(ok);
}

TEST(ValueQtTest, IncompleteNumbersGoToTheBaseReader) {
    bool ok = true;
    bg::ValueQt v = Read("[rect]x:1;y:2", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(v.kind(), bg::Value::kNull);
    for (const char* text : {"[rect]x:1;y:2;w:3;h:", "[rect]x:1;y:2;w:3;h:z", "[point]x:1,y:2",
                             "[point]x:99999999999;y:2", "[point]x:+-1;y:2", "[sizef]w:1e999;h:1",
                             "[pointf]x:;y:1", "[rect]x:1 ;y:2;w:3;h:4"}) {
        Read(text, &ok);
        EXPECT_FALSE(ok) << text;
    }
    // Trailing text after the last number is not looked at.
    EXPECT_EQ(Read("[point]x:1;y:2 and more").write(), "[point]x:1;y:2");
}

TEST(ValueQtTest, EmptyTextAndVariant) {
    bool ok = false;
    bg::ValueQt empty = Read("[qstr]", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(empty.kind(), bg::ValueQt::kQStr);
    EXPECT_EQ(empty.toStdString("x"), "");
    bg::ValueQt v = Read("<variant>anything]at all", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(v.kind(), bg::Value::kNull);
    EXPECT_EQ(v.str(), "anything]at all");
}

TEST(ValueQtTest, ShortTagsAndUnknownTextsAreRejected) {
    bool ok = true;
    for (const char* text : {"", "[]", "[q]", "abc", "no bracket here", "<null>]abc", "[]abcdef",
                             "[qstrx]x", "[toolongtag]x:1", "[pointff]x:1;y:2", "[sizes]w:1;h:2",
                             "[x]", "[rectangle]x:1;y:2;w:3;h:4"}) {
        bg::ValueQt v = Read(text, &ok);
        EXPECT_FALSE(ok) << text;
        EXPECT_EQ(v.kind(), bg::Value::kNull) << text;
        EXPECT_EQ(v.str(), "") << text;
    }
    EXPECT_FALSE(bg::ValueQt(QString("x")).read(nullptr));
}

TEST(ValueQtTest, BaseFormsHoldingABracketGoToTheBaseReader) {
    bool ok = false;
    // A base text holding "]" is not mistaken for a tag.
    bg::ValueQt v = Read("<string>a]b", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(v.kind(), bg::Value::kString);
    EXPECT_EQ(v.toStdString(), "a]b");
    // Without any "]" a text is none of this type's forms.
    Read("<int>42", &ok);
    EXPECT_FALSE(ok);
}

TEST(ValueQtTest, NumericFormsAreCutAt127Characters) {
    bg::ValueQt v = Read("[rectf]x:1e300;y:1e300;w:1e300;h:1e300");
    ASSERT_EQ(v.kind(), bg::ValueQt::kRectF);
    const std::string text = v.write();
    EXPECT_EQ(text.size(), 127u);
    EXPECT_EQ(text.substr(0, 10), "[rectf]x:1");
    bg::ValueQt longText(QString(500, QChar('a')));
    EXPECT_EQ(longText.write().size(), 506u);  // texts are not cut
}

}  // namespace
