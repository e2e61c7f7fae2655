#pragma once

#include <cstdint>

#include "tools/zucam-camera/i420-frame.h"

struct TextBitmap;

// The picture a camera output shows while there is no phone picture: a calm
// dark background, the outline of a phone and the words "waiting for the
// phone" in the window's language. The Latin letters are drawn by hand and
// the Chinese words come from a table drawn at build time, so no font
// library is needed when it runs.
class WaitingPicture {
public:
    enum class Language { kEnglish, kChinese };

    static constexpr uint8_t kBackgroundY = 48;
    static constexpr uint8_t kBackgroundU = 136;
    static constexpr uint8_t kBackgroundV = 124;
    static constexpr uint8_t kInkY = 200;

    static void Draw(int width, int height, Language language, I420Frame* frame);

private:
    struct Box {
        int x, y, w, h;
    };
    static void FillRect(I420Frame* frame, int x, int y, int w, int h);
    static void DrawText(I420Frame* frame, const char* text, int x, int y, int scale);
    // Scales `text` into `box` (each output pixel the mean of the ink it
    // covers) and blends it over the background.
    static void DrawBitmap(I420Frame* frame, const TextBitmap& text, const Box& box);
    static Box FitBitmap(const TextBitmap& text, int width, int height);
    static void DrawPhone(I420Frame* frame, int top, int scaleHint);
};
