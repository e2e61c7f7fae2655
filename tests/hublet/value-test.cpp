#include "hublet/value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ValueTest, TextFormsRoundTrip) {
    const std::vector<bg::Value> values = {
        bg::Value(true),
        bg::Value(false),
        bg::Value(-42),
        bg::Value(2147483647),
        bg::Value(0.1),
        bg::Value(-1e300),
        bg::Value(std::string("a]b\n\"c\"")),
        bg::Value(""),
    };
    for (const bg::Value& v : values) {
        bg::Value back;
        ASSERT_TRUE(back.read(v.write().c_str())) << v.write();
        EXPECT_EQ(back.kind(), v.kind()) << v.write();
        EXPECT_EQ(back.write(), v.write());
    }
    bg::Value d;
    ASSERT_TRUE(d.read(bg::Value(0.1).write().c_str()));
    EXPECT_EQ(d.toDouble(), 0.1);
}

TEST(ValueTest, BadTextsReadAsNull) {
    for (const char* text : {"", "<int>", "<int>12x", "<int>99999999999", "<bool>2", "<double>",
                             "<double>1.5z", "int>3", "[qstr]x", "<null>"}) {
        bg::Value v(7);
        EXPECT_FALSE(v.read(text)) << text;
        EXPECT_TRUE(v.isNull()) << text;
    }
    bg::Value v(7);
    EXPECT_FALSE(v.read(nullptr));
    EXPECT_TRUE(v.isNull());
}

TEST(ValueTest, PointersNeverLeaveTheProcessAsText) {
    int target = 0;
    bg::Value p(static_cast<void*>(&target));
    EXPECT_EQ(p.toPointer(), &target);
    EXPECT_EQ(p.write(), "<null>");
    EXPECT_EQ(bg::Value(1).toPointer(), nullptr);
}

TEST(ValueTest, KindCodesThirteenToNineteenStayFree) {
    for (const bg::Value& v : {bg::Value(true), bg::Value(1), bg::Value(1.0), bg::Value("t"),
                               bg::Value(static_cast<void*>(nullptr)), bg::Value()}) {
        EXPECT_TRUE(v.kind() < bg::Value::kQtFirst || v.kind() > bg::Value::kQtLast) << v.kind();
    }
    // The typed-value kinds keep their meaning in the same storage; the text
    // kind reads back as its text (the device name travels this way).
    bg::Value named;
    named.setstr(32, "%s", "ZuCam[desk]");
    named.fast_set(13);
    EXPECT_EQ(named.toStdString("fallback"), "ZuCam[desk]");
    bg::Value copy = named;
    EXPECT_EQ(copy.toStdString(), "ZuCam[desk]");
    named.fast_set(15);
    EXPECT_EQ(named.toStdString("fallback"), "fallback");
}

TEST(ValueTest, ConversionsAndDefaults) {
    EXPECT_EQ(bg::Value(5).toStdString(), "5");
    EXPECT_EQ(bg::Value().toStdString("d"), "d");
    EXPECT_TRUE(bg::Value("1").toBool());
    EXPECT_FALSE(bg::Value("yes").toBool(true));
    EXPECT_TRUE(bg::Value().toBool(true));
    EXPECT_EQ(bg::Value(2.9).toInt(), 2);
    EXPECT_EQ(bg::Value("7").toInt(3), 3);
}

TEST(ValueTest, FormattedSetterBoundsItsText) {
    bg::Value v;
    EXPECT_EQ(v.setstr(4, "%s", "abcdef"), 3);
    EXPECT_EQ(v.str(), "abc");
    EXPECT_EQ(v.setstr(0, "%s", "x"), 0);
    EXPECT_EQ(v.str(), "");
    v.zero();
    EXPECT_TRUE(v.isNull());
}

}  // namespace
