#pragma once

#include <string>

#include "tools/phone-sim/annexb-splitter.h"
#include "tools/phone-sim/video-source.h"

namespace phonesim {

// Access units of an H.264 Annex B file, paced at a frame rate of the user's
// choosing (a raw stream carries no timing). With `loop` the file starts over
// at its end; it must then begin with its parameter sets, as a camera stream does.
class AnnexBFileSource : public VideoSource {
public:
    bool Open(const std::string& path, int fps, bool loop, std::string* error);
    int Next(AccessUnit* unit, std::string* error) override;
    int fps() const override { return fps_; }
    size_t skippedBytes() const { return splitter_.skippedBytes(); }

private:
    AnnexBSplitter splitter_;
    int fps_ = 30;
    bool loop_ = false;
};

}  // namespace phonesim
