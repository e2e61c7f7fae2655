#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/child-process.h"
#include "tests/support/temp-dir.h"

namespace e2e {

// One I420 picture.
struct Picture {
    int width = 0;
    int height = 0;
    std::string bytes;  // Y, then U, then V, rows packed
};

// The pictures of a YUV4MPEG2 stream; false when the stream is malformed.
bool ReadY4m(const std::string& path, std::vector<Picture>* pictures, std::string* error);
// Raw I420 pictures of one size, one after the other.
std::vector<Picture> ReadRawI420(const std::string& path, int width, int height);
// The frame number the phone simulator's test pattern carries in its top
// blocks; -1 when the blocks are not clean black and white.
int PatternIndex(const Picture& picture);

std::string BinDir();
std::string Bin(const std::string& name);

// The environment every process of one test shares: its own settings and
// log folders, and a program that records "open folder" requests instead of
// opening a file browser.
std::vector<std::pair<std::string, std::string>> IsolatedEnv(const zutest::TempDir& dir);

// Starts a program with output to files in `dir` (<tag>.out / <tag>.err).
bool Start(platform::ChildProcess* child, const zutest::TempDir& dir, const std::string& tag,
           std::vector<std::string> argv);
std::string ReadText(const std::string& path);
// Waits until `path` contains `text`; false after timeoutMs.
bool WaitForText(const std::string& path, const std::string& text, int timeoutMs);
// Files in `dir` whose name starts with `prefix`.
std::vector<std::string> FilesStartingWith(const std::string& dir, const std::string& prefix);

}  // namespace e2e
