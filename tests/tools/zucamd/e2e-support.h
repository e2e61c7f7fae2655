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
// `extraEnv` entries are set after the isolated environment (PATH, say).
bool Start(platform::ChildProcess* child, const zutest::TempDir& dir, const std::string& tag,
           std::vector<std::string> argv,
           const std::vector<std::pair<std::string, std::string>>& extraEnv = {});
// Starts a program as the first process of a private PID namespace with its
// own /proc, so that whatever it ends by name (ZuCam ends the first process
// called "adb" of its user) can only be one of its own. `child` is the
// namespace's creator, which waits for the program, returns its exit status
// and takes it along if killed; *pid is the program's own id, for signals.
bool StartInPidNamespace(platform::ChildProcess* child, const zutest::TempDir& dir,
                         const std::string& tag, std::vector<std::string> argv,
                         const std::vector<std::pair<std::string, std::string>>& extraEnv,
                         long* pid);

using Env = std::vector<std::pair<std::string, std::string>>;
// Starts zucamd on port 10080 (no announcements, recordings and screenshots
// into `dir`) with `extraArgs`, and waits until it serves; its log is
// zucamd.err. False when it does not come up within 30 s.
bool StartZucamd(platform::ChildProcess* zucamd, const zutest::TempDir& dir,
                 const std::vector<std::string>& extraArgs = {}, const Env& extraEnv = {});
// The phone simulator's command line, streaming to `port` with `options`.
std::vector<std::string> PhoneSim(int port, const std::vector<std::string>& options);
// The log file of the programs started with IsolatedEnv(dir).
std::string ZucamdLog(const zutest::TempDir& dir);

std::string ReadText(const std::string& path);
// Waits until `path` contains `text`; false after timeoutMs.
bool WaitForText(const std::string& path, const std::string& text, int timeoutMs);
// How often `text` occurs in `haystack`.
int CountOf(const std::string& haystack, const std::string& text);
// Files in `dir` whose name starts with `prefix`.
std::vector<std::string> FilesStartingWith(const std::string& dir, const std::string& prefix);

// A save folder on a nearly full disk: a 1 MiB tmpfs on `dir`, mounted in a
// mount namespace of the program's own and most of it taken by a filler, so
// that a recording meets the full disk within seconds. `wrapper` goes before
// the program's command line. False when mounting is not allowed (root only).
bool SmallDisk(const std::string& dir, std::vector<std::string>* wrapper);
// `path` as the process `pid` sees it, in its own mount namespace.
std::string SeenBy(long pid, const std::string& path);

}  // namespace e2e
