#include "tools/phone-sim/annexb-file-source.h"

#include <utility>

#include "platform/files.h"

namespace phonesim {

namespace {
// Files are held in memory; anything this large is not a test clip.
constexpr long long kMaxFileBytes = 1LL << 30;
}  // namespace

bool AnnexBFileSource::Open(const std::string& path, int fps, bool loop, std::string* error) {
    long long size = platform::FileSize(path);
    if (size > kMaxFileBytes) {
        *error = "video file " + path + " is larger than 1 GiB";
        return false;
    }
    std::string data;
    std::string why;
    if (!platform::ReadWholeFile(path, &data, &why)) {
        *error = "cannot read video file " + path + (why.empty() ? "" : ": " + why);
        return false;
    }
    splitter_ = AnnexBSplitter(std::move(data));
    if (splitter_.nalCount() == 0) {
        *error = "video file " + path + " holds no H.264 Annex B NAL unit (no 00 00 01 start code)";
        return false;
    }
    fps_ = fps;
    loop_ = loop;
    return true;
}

int AnnexBFileSource::Next(AccessUnit* unit, std::string* /*error*/) {
    if (splitter_.Next(unit))
        return 1;
    if (!loop_)
        return 0;
    splitter_.Rewind();
    return splitter_.Next(unit) ? 1 : 0;
}

}  // namespace phonesim
