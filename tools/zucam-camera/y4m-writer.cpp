#include "tools/zucam-camera/y4m-writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Copies `rows` rows of `width` samples out of a plane of `srcRows` rows of
// `srcStride` bytes, repeating the last sample and row where the source is
// short, and `fill` where it has nothing at all.
void PackPlane(const uint8_t* src, size_t srcStride, size_t srcRows, size_t width, size_t rows,
               uint8_t fill, uint8_t* dst) {
    size_t copied = std::min(srcStride, width);
    for (size_t r = 0; r < rows; ++r) {
        uint8_t* line = dst + r * width;
        if (srcRows == 0 || copied == 0) {
            std::memset(line, fill, width);
            continue;
        }
        const uint8_t* from = src + std::min(r, srcRows - 1) * srcStride;
        std::memcpy(line, from, copied);
        if (copied < width)
            std::memset(line + copied, from[copied - 1], width - copied);
    }
}

std::string OutputError(int err) {
    if (err == EPIPE)
        return "the reading end of the output was closed";
    return std::string("cannot write the output: ") + std::strerror(err);
}

}  // namespace

Y4mWriter::~Y4mWriter() {
    close();
}

bool Y4mWriter::open(const std::string& path, std::string* error) {
    close();
    if (path == "-") {
        out_ = stdout;
        ownsFile_ = false;
        return true;
    }
    out_ = std::fopen(path.c_str(), "wb");
    if (!out_) {
        *error = "cannot create \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    ownsFile_ = true;
    return true;
}

bool Y4mWriter::close() {
    if (!out_)
        return true;
    bool ok = std::fflush(out_) == 0;
    if (ownsFile_)
        ok = std::fclose(out_) == 0 && ok;
    out_ = nullptr;
    ownsFile_ = false;
    return ok;
}

void Y4mWriter::Pack(const CameraPicture& picture, std::vector<uint8_t>* frame) {
    const VirtualCameraSlotHeader& h = picture.header;
    size_t width = h.width;
    size_t height = h.height;
    size_t chromaWidth = (width + 1) / 2;
    size_t chromaHeight = (height + 1) / 2;
    size_t lumaBytes = width * height;
    size_t chromaBytes = chromaWidth * chromaHeight;
    frame->resize(lumaBytes + 2 * chromaBytes);
    if (picture.bytes.size() < VirtualCameraQueue::PictureBytes(h.height, h.yBytesPerRow,
                                                                h.uBytesPerRow, h.vBytesPerRow)) {
        std::fill(frame->begin(), frame->begin() + lumaBytes, 16);
        std::fill(frame->begin() + lumaBytes, frame->end(), 128);
        return;
    }

    const uint8_t* data = picture.bytes.data();
    size_t uOffset = height * h.yBytesPerRow;
    size_t vOffset = uOffset + (size_t(h.uBytesPerRow) * height) / 2;
    uint8_t* out = frame->data();
    PackPlane(data, h.yBytesPerRow, height, width, height, 16, out);
    PackPlane(data + uOffset, h.uBytesPerRow, height / 2, chromaWidth, chromaHeight, 128,
              out + lumaBytes);
    PackPlane(data + vOffset, h.vBytesPerRow, height / 2, chromaWidth, chromaHeight, 128,
              out + lumaBytes + chromaBytes);
}

bool Y4mWriter::put(const void* data, size_t size) {
    if (std::fwrite(data, 1, size, out_) == size)
        return true;
    error_ = OutputError(errno);
    return false;
}

Y4mWriter::Result Y4mWriter::write(const CameraPicture& picture) {
    if (!out_) {
        error_ = "the output is not open";
        return Result::WriteFailed;
    }
    int width = static_cast<int>(picture.header.width);
    int height = static_cast<int>(picture.header.height);
    if (width_ == 0) {
        char header[96];
        int n = std::snprintf(header, sizeof(header), "YUV4MPEG2 W%d H%d F%d:1 Ip A1:1 C420jpeg\n",
                              width, height, fps_);
        if (!put(header, static_cast<size_t>(n)))
            return Result::WriteFailed;
        width_ = width;
        height_ = height;
    } else if (width != width_ || height != height_) {
        return Result::SizeChanged;
    }
    Pack(picture, &frame_);
    static const char kFrame[] = "FRAME\n";
    if (!put(kFrame, sizeof(kFrame) - 1) || !put(frame_.data(), frame_.size())) {
        return Result::WriteFailed;
    }
    // A pipe reader (ffmpeg feeding a camera) must get each picture now, not
    // when the buffer happens to fill.
    if (std::fflush(out_) != 0) {
        error_ = OutputError(errno);
        return Result::WriteFailed;
    }
    return Result::Ok;
}
