#pragma once

// A line of text drawn once at build time: ink coverage, 0 (none) to 255
// (full), row after row without padding.
struct TextBitmap {
    int width;
    int height;
    const unsigned char* coverage;
};

// "waiting for the phone" in Chinese, drawn from WenQuanYi Micro Hei.
extern const TextBitmap kWaitingTextChinese;
