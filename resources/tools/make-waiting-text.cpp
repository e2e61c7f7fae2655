// Draws a line of text once with a real font and writes it as a C++ table of
// ink coverage, so zucam-camera can show words in any script without
// linking a font library. Used by the build only.
//
//   zucam-make-waiting-text <out.cpp> <symbol> <pixel size> <UTF-8 text>
//
// The table is cropped to the ink plus one blank pixel each side; the build
// fails when the font lacks a character (a box drawn instead of a word).
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kFamily = "WenQuanYi Micro Hei";

QFont TextFont(int pixels) {
    QFont font(QString::fromLatin1(kFamily));
    font.setPixelSize(pixels);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// False (with a message) when a character would be drawn from no font.
bool FontHasEvery(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    for (const uint c : text.toUcs4()) {
        if (c != ' ' && !metrics.inFontUcs4(c)) {
            std::fprintf(stderr,
                         "the font \"%s\" lacks U+%04X; install fonts-wqy-microhei (Debian)\n",
                         kFamily, c);
            return false;
        }
    }
    return true;
}

// The text in white on black, cropped to its ink with a blank pixel around.
QImage Render(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(text) + 8;
    const int height = metrics.height() + 8;
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(0);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(4, 4 + metrics.ascent(), text);
    }
    QRect ink;
    for (int y = 0; y < height; ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            if (row[x] != 0)
                ink |= QRect(x, y, 1, 1);
        }
    }
    return ink.isEmpty() ? QImage() : image.copy(ink.adjusted(-1, -1, 1, 1));
}

bool WriteTable(const char* path, const std::string& symbol, const QString& text,
                const QImage& image) {
    FILE* out = std::fopen(path, "w");
    if (!out)
        return false;
    std::fprintf(out,
                 "// Written by zucam-make-waiting-text from the font \"%s\"; do not edit.\n"
                 "// Text: %s\n"
                 "#include \"tools/zucam-camera/text-bitmap.h\"\n\n"
                 "namespace {\n\nconst unsigned char kCoverage[] = {",
                 kFamily, text.toUtf8().constData());
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        std::fprintf(out, "\n   ");
        for (int x = 0; x < image.width(); ++x)
            std::fprintf(out, " %u,", row[x]);
    }
    std::fprintf(out,
                 "\n};\n\n}  // namespace\n\n"
                 "const TextBitmap %s = {%d, %d, kCoverage};\n",
                 symbol.c_str(), image.width(), image.height());
    return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr,
                     "usage: zucam-make-waiting-text <out.cpp> <symbol> <pixel size> <text>\n");
        return 2;
    }
    const int pixels = std::atoi(argv[3]);
    const QString text = QString::fromUtf8(argv[4]);
    if (pixels < 8 || pixels > 200 || text.trimmed().isEmpty()) {
        std::fprintf(stderr, "a size of 8 to 200 pixels and some text, please\n");
        return 2;
    }
    const QFont font = TextFont(pixels);
    if (!FontHasEvery(font, text))
        return 1;
    const QImage image = Render(font, text);
    if (image.isNull()) {
        std::fprintf(stderr, "the text left no ink\n");
        return 1;
    }
    if (!WriteTable(argv[1], argv[2], text, image)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
