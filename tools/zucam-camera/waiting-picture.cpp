#include "tools/zucam-camera/waiting-picture.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 9;  // two rows below the line for g and p
constexpr int kAdvance = kGlyphWidth + 1;
constexpr const char* kText = "waiting for the phone";

// 5 x 9 pixel glyphs of the letters the text needs; '#' is ink.
struct Glyph {
    char letter;
    const char* rows[kGlyphHeight];
};

constexpr Glyph kGlyphs[] = {
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####", ".....", "....."}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###.", ".....", "....."}},
    {'f', {"..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#...", ".....", "....."}},
    {'g', {".....", ".....", ".####", "#...#", "#...#", "#...#", ".####", "....#", ".###."}},
    {'h', {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#", ".....", "....."}},
    {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###.", ".....", "....."}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#", ".....", "....."}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###.", ".....", "....."}},
    {'p', {".....", ".....", "####.", "#...#", "#...#", "#...#", "####.", "#....", "#...."}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#....", ".....", "....."}},
    {'t', {".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##.", ".....", "....."}},
    {'w', {".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#.", ".....", "....."}},
};

const Glyph* GlyphOf(char letter) {
    for (const Glyph& glyph : kGlyphs) {
        if (glyph.letter == letter)
            return &glyph;
    }
    return nullptr;  // a space
}

}  // namespace

void WaitingPicture::FillRect(I420Frame* frame, int x, int y, int w, int h) {
    int x0 = std::max(0, x), y0 = std::max(0, y);
    int x1 = std::min(frame->width, x + w), y1 = std::min(frame->height, y + h);
    for (int row = y0; row < y1; ++row) {
        if (x1 > x0)
            std::memset(frame->y() + size_t(row) * frame->width + x0, kInkY, size_t(x1 - x0));
    }
}

void WaitingPicture::DrawText(I420Frame* frame, const char* text, int x, int y, int scale) {
    for (int i = 0; text[i] != '\0'; ++i) {
        const Glyph* glyph = GlyphOf(text[i]);
        for (int row = 0; glyph && row < kGlyphHeight; ++row) {
            for (int col = 0; col < kGlyphWidth; ++col) {
                if (glyph->rows[row][col] == '#') {
                    FillRect(frame, x + (i * kAdvance + col) * scale, y + row * scale, scale,
                             scale);
                }
            }
        }
    }
}

void WaitingPicture::Draw(int width, int height, I420Frame* frame) {
    frame->allocate(width, height);
    size_t luma = size_t(width) * height;
    std::memset(frame->y(), kBackgroundY, luma);
    std::memset(frame->u(), kBackgroundU, luma / 4);
    std::memset(frame->v(), kBackgroundV, luma / 4);

    int textLength = static_cast<int>(std::strlen(kText));
    int scale = std::max(1, std::min(height / 120, width / (textLength * kAdvance + 4)));
    int textWidth = textLength * kAdvance * scale;
    int textHeight = kGlyphHeight * scale;
    // A phone standing upright above the words, drawn as an outline.
    int phoneHeight = height * 3 / 10;
    int phoneWidth = phoneHeight / 2;
    int line = std::max(1, scale / 2 + 1);
    int gap = std::max(2, textHeight);
    int top = (height - (phoneHeight + gap + textHeight)) / 2;
    int left = (width - phoneWidth) / 2;
    FillRect(frame, left, top, phoneWidth, line);
    FillRect(frame, left, top + phoneHeight - line, phoneWidth, line);
    FillRect(frame, left, top, line, phoneHeight);
    FillRect(frame, left + phoneWidth - line, top, line, phoneHeight);
    // Its camera dot.
    FillRect(frame, left + phoneWidth / 2 - line, top + 3 * line, 2 * line, 2 * line);
    DrawText(frame, kText, (width - textWidth) / 2, top + phoneHeight + gap, scale);
    frame->region = FittedRegion{};
}
