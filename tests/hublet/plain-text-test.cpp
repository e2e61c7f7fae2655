#include "hublet/plain-text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PlainTextTest, ControlsAndTerminalSequencesBecomeVisibleEscapes) {
    EXPECT_EQ(bg::EscapeControls("Pixel 7"), "Pixel 7");
    EXPECT_EQ(bg::EscapeControls("a\nb\rc\td"), "a\\nb\\rc\\td");
    EXPECT_EQ(bg::EscapeControls("\x1b]0;title\x07"), "\\x1b]0;title\\x07");
    EXPECT_EQ(bg::EscapeControls("\x1b[2J\x7f"), "\\x1b[2J\\x7f");
    EXPECT_EQ(bg::EscapeControls(std::string("a\0b", 3)), "a\\x00b");
    // C1 controls (U+009B is a one-character CSI) and reordering marks.
    EXPECT_EQ(bg::EscapeControls("\xC2\x9B"
                                 "2J"),
              "\\x9b2J");
    EXPECT_EQ(bg::EscapeControls("abc\xE2\x80\xAE"
                                 "fdp.exe"),
              "abc\\u202efdp.exe");
}

TEST(PlainTextTest, InvalidUtf8BytesAreEscapedAndValidTextKept) {
    EXPECT_EQ(bg::EscapeControls("小米 13 \xF0\x9F\x93\xB7"), "小米 13 \xF0\x9F\x93\xB7");
    EXPECT_EQ(bg::EscapeControls("\xFF\xFE"), "\\xff\\xfe");
    // Cut sequences, overlong forms and surrogates are no characters.
    EXPECT_EQ(bg::EscapeControls("x\xE5\xB0"), "x\\xe5\\xb0");
    EXPECT_EQ(bg::EscapeControls("\xC0\x8A"), "\\xc0\\x8a");
    EXPECT_EQ(bg::EscapeControls("\xED\xA0\x80"), "\\xed\\xa0\\x80");
    // Whatever went in, nothing below 0x20 comes out.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    for (char c : bg::EscapeControls(all))
        EXPECT_GE(static_cast<unsigned char>(c), 0x20u);
}

TEST(PlainTextTest, LongTextIsCutAtACharacterWithAnEllipsis) {
    EXPECT_EQ(bg::CutText("short", 64), "short");
    EXPECT_EQ(bg::CutText(std::string(64, 'a'), 64), std::string(64, 'a'));
    EXPECT_EQ(bg::CutText(std::string(65, 'a'), 64), std::string(63, 'a') + "…");
    // Counted in characters, never cut inside one.
    std::string wide;
    for (int i = 0; i < 10; ++i)
        wide += "相机";
    EXPECT_EQ(bg::CutText(wide, 5), "相机相机…");
    EXPECT_EQ(bg::CutText("abc", 0), "");
    // Escapes are made before the cut, so the result stays short.
    const std::string name = bg::PlainText(std::string(100000, '\x1b'));
    EXPECT_EQ(name, std::string("\\x1b\\x1b\\x1b\\x1b\\x1b\\x1b\\x1b\\x1b\\x1b\\x1b\\x1b\\x1b\\x1b"
                                "\\x1b\\x1b\\x1") +
                        "…");
}

}  // namespace
