#include "tools/zucam-camera/waiting-picture.h"

#include <algorithm>
#include <cstring>

#include "tools/zucam-camera/text-bitmap.h"

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

WaitingPicture::Box WaitingPicture::FitBitmap(const TextBitmap& text, int width, int height) {
    Box box{0, 0, 0, std::max(1, height * 7 / 100)};
    box.w = std::max(1, text.width * box.h / text.height);
    if (box.w > width - 4) {
        box.w = std::max(1, width - 4);
        box.h = std::max(1, text.height * box.w / text.width);
    }
    return box;
}

void WaitingPicture::DrawBitmap(I420Frame* frame, const TextBitmap& text, const Box& box) {
    for (int row = 0; row < box.h; ++row) {
        const int y = box.y + row;
        if (y < 0 || y >= frame->height)
            continue;
        const int sy0 = row * text.height / box.h;
        const int sy1 = std::max(sy0 + 1, (row + 1) * text.height / box.h);
        for (int col = 0; col < box.w; ++col) {
            const int x = box.x + col;
            if (x < 0 || x >= frame->width)
                continue;
            const int sx0 = col * text.width / box.w;
            const int sx1 = std::max(sx0 + 1, (col + 1) * text.width / box.w);
            int sum = 0;
            for (int sy = sy0; sy < sy1; ++sy) {
                for (int sx = sx0; sx < sx1; ++sx)
                    sum += text.coverage[size_t(sy) * text.width + sx];
            }
            const int coverage = sum / ((sy1 - sy0) * (sx1 - sx0));
            uint8_t* pixel = frame->y() + size_t(y) * frame->width + x;
            *pixel = static_cast<uint8_t>(kBackgroundY + (kInkY - kBackgroundY) * coverage / 255);
        }
    }
}

void WaitingPicture::DrawPhone(I420Frame* frame, int top, int scaleHint) {
    // A phone standing upright above the words, drawn as an outline.
    int phoneHeight = frame->height * 3 / 10;
    int phoneWidth = phoneHeight / 2;
    int line = std::max(1, scaleHint / 2 + 1);
    int left = (frame->width - phoneWidth) / 2;
    FillRect(frame, left, top, phoneWidth, line);
    FillRect(frame, left, top + phoneHeight - line, phoneWidth, line);
    FillRect(frame, left, top, line, phoneHeight);
    FillRect(frame, left + phoneWidth - line, top, line, phoneHeight);
    // Its camera dot.
    FillRect(frame, left + phoneWidth / 2 - line, top + 3 * line, 2 * line, 2 * line);
}

void WaitingPicture::Draw(int width, int height, Language language, I420Frame* frame) {
    frame->allocate(width, height);
    size_t luma = size_t(width) * height;
    std::memset(frame->y(), kBackgroundY, luma);
    std::memset(frame->u(), kBackgroundU, luma / 4);
    std::memset(frame->v(), kBackgroundV, luma / 4);

    int textLength = static_cast<int>(std::strlen(kText));
    int scale = std::max(1, std::min(height / 120, width / (textLength * kAdvance + 4)));
    Box text{0, 0, textLength * kAdvance * scale, kGlyphHeight * scale};
    if (language == Language::kChinese)
        text = FitBitmap(kWaitingTextChinese, width, height);
    int phoneHeight = height * 3 / 10;
    int gap = std::max(2, text.h);
    int top = (height - (phoneHeight + gap + text.h)) / 2;
    DrawPhone(frame, top, scale);
    text.x = (width - text.w) / 2;
    text.y = top + phoneHeight + gap;
    if (language == Language::kChinese)
        DrawBitmap(frame, kWaitingTextChinese, text);
    else
        DrawText(frame, kText, text.x, text.y, scale);
    frame->region = FittedRegion{};
}
