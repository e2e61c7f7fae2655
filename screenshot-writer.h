#pragma once

#include <functional>
#include <string>

#include "dep/QtComponent/ffmpeg/frame-holder.h"

// Takes screenshots of the latest picture as PNG files. The checks run on the
// caller's thread; the conversion and the PNG encoding run on Qt's global
// thread pool so the caller (the GUI thread) never waits for them.
class ScreenshotWriter {
public:
    // The path written, or "" when the screenshot failed.
    using Done = std::function<void(const std::string& path)>;

    // Checks the picture and the save directory, then starts writing
    // "ZuCam_shot[<time>].png" there. False with the message to show when a
    // check fails (nothing is started then); otherwise `done` runs on a pool
    // thread once the file is written or has failed.
    static bool Start(const FrameHolder& picture, const std::string& saveDir, Done done,
                      std::string* failureMessage);

    // Converts `picture` to RGBA and saves it (format from the suffix). The
    // path on success, "" on failure. Blocking; any thread.
    static std::string WritePng(const FrameHolder& picture, const std::string& path);
};
