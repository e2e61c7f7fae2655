#include "web/qr-code.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

TEST(QrCodeTest, EncodesALinkWithFinderPatternsAndDrawsItForATerminal) {
    QrCode qr;
    ASSERT_TRUE(qr.Encode("https://192.168.100.200:10090/?k=ABCDEFGHIJKLMNOPQRSTUV"));
    ASSERT_GE(qr.Size(), 21);
    EXPECT_EQ((qr.Size() - 17) % 4, 0);
    // The three finder squares: a dark 7x7 ring around a light ring.
    for (auto [x0, y0] :
         {std::pair{0, 0}, std::pair{qr.Size() - 7, 0}, std::pair{0, qr.Size() - 7}}) {
        EXPECT_TRUE(qr.Dark(x0, y0));
        EXPECT_TRUE(qr.Dark(x0 + 6, y0 + 6));
        EXPECT_FALSE(qr.Dark(x0 + 1, y0 + 1));
        EXPECT_TRUE(qr.Dark(x0 + 3, y0 + 3));
    }
    EXPECT_FALSE(qr.Dark(-1, 0));
    EXPECT_FALSE(qr.Dark(0, qr.Size()));
    const std::string text = qr.TerminalText();
    // Quiet zone of two modules, two module rows per line.
    EXPECT_EQ(CountOf(text, "\n"), (qr.Size() + 4 + 1) / 2);
    EXPECT_EQ(text.substr(0, text.find('\n')), [&] {
        std::string row;
        for (int i = 0; i < qr.Size() + 4; ++i)
            row += "\xe2\x96\x88";
        return row;
    }());
}

TEST(QrCodeTest, RefusesTextTooLongForAnyCode) {
    QrCode qr;
    EXPECT_FALSE(qr.Encode(std::string(8000, 'x')));
    EXPECT_EQ(qr.Size(), 0);
}

}  // namespace
