#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/zucam-camera/camera-picture.h"

// Writes camera pictures as one YUV4MPEG2 (I420) stream. The first picture
// fixes the stream's size; the format has no way to change it later.
class Y4mWriter {
public:
    enum class Result { Ok, SizeChanged, WriteFailed };

    explicit Y4mWriter(int fps = 30) : fps_(fps) {}
    ~Y4mWriter();
    Y4mWriter(const Y4mWriter&) = delete;
    Y4mWriter& operator=(const Y4mWriter&) = delete;

    // "-" is standard output. False with *error set when the file cannot be created.
    bool open(const std::string& path, std::string* error);
    // Writes the stream header before the first picture, then the picture.
    // A picture of another size is not written.
    Result write(const CameraPicture& picture);
    // Flushes and closes; false when buffered bytes could not be written.
    bool close();

    int width() const { return width_; }
    int height() const { return height_; }
    // What went wrong with the output.
    const std::string& error() const { return error_; }

    // The picture as a Y4M frame body: width x height luma, then both chroma
    // planes of ((width + 1) / 2) x ((height + 1) / 2). The slot holds only
    // width / 2 x height / 2 chroma samples, so an odd size repeats the last
    // column and row.
    static void Pack(const CameraPicture& picture, std::vector<uint8_t>* frame);

private:
    bool put(const void* data, size_t size);

    std::FILE* out_ = nullptr;
    bool ownsFile_ = false;
    int fps_;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> frame_;
    std::string error_;
};
