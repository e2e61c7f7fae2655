#pragma once

#include <cstdint>

#include "tools/zucam-camera/i420-frame.h"

// The picture a camera output shows while there is no phone picture: a calm
// dark background, the outline of a phone and the words "waiting for the
// phone", drawn without any font library so it works on any machine.
class WaitingPicture {
public:
    static constexpr uint8_t kBackgroundY = 48;
    static constexpr uint8_t kBackgroundU = 136;
    static constexpr uint8_t kBackgroundV = 124;
    static constexpr uint8_t kInkY = 200;

    static void Draw(int width, int height, I420Frame* frame);

private:
    static void FillRect(I420Frame* frame, int x, int y, int w, int h);
    static void DrawText(I420Frame* frame, const char* text, int x, int y, int scale);
};
