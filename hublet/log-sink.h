#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

namespace bg {

// Log levels as the host numbers them.
enum LogLevel : int {
    kLogError = 2,
    kLogWarning = 3,
    kLogInfo = 4,
    kLogDebug = 5,
};

// Receives finished log lines and writes each one whole to the log file and to
// standard error. Lines from many threads never interleave. The file is
// rotated once it passes kRotateBytes, keeping one previous file (".1"):
// every byte written counts, prints to a diverted standard error included,
// so the two files never hold much more than 2 x kRotateBytes.
class LogSink {
public:
    static constexpr long long kRotateBytes = 10LL * 1024 * 1024;

    // An empty path logs to standard error only.
    explicit LogSink(const std::string& path, bool toStderr = true);
    ~LogSink();
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;

    // The host's variadic entry: formats and writes one line.
    void log(int level, const char* module, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    // Writes an already formatted line.
    void write(int level, const std::string& line);

    // Sends everything the process (and its children) print to standard
    // error into the log file instead, through the sink so that it counts
    // towards the rotation, and stops echoing lines there: the terminal
    // stays free for the messages meant for the user. False, with nothing
    // changed, when there is no log file to send it to.
    bool divertStandardError();

    // Sees every line after it is written (tests and diagnostics). Called with
    // the sink's lock held: an observer must not log.
    using Observer = std::function<void(int level, const std::string& line)>;
    void setObserver(Observer observer);

    const std::string& path() const { return path_; }

private:
    // At most this much of a diverted standard error is taken at a time.
    static constexpr size_t kDrainShareBytes = 256 * 1024;
    // What is left in the pipe at the end (a child still printing is cut off).
    static constexpr size_t kDrainLastBytes = 1024 * 1024;

    void openFile();
    void rotateIfNeeded(size_t incoming);
    // With the lock held.
    void append(const char* data, size_t size);
    void drainStandardError(size_t limit);
    // From the diversion's thread.
    void pumpStandardError();

    std::mutex mutex_;
    std::string path_;
    bool toStderr_;
    std::FILE* file_ = nullptr;
    long long fileSize_ = 0;
    bool diverted_ = false;
    Observer observer_;
};

// Formats one log line of the house format and hands it to CD's sink:
//   "<%m%d-%H:%M:%S>[E][bg] <source base name> <line, %-4d>: \"<message>\"\n"
// Does nothing when the host is not up.
void LogLine(int level, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// The text after the last '/' or '\' of a source path.
const char* SourceBaseName(const char* path);

}  // namespace bg

#define BG_LOGE(...) ::bg::LogLine(::bg::kLogError, __FILE__, __LINE__, __VA_ARGS__)
#define BG_LOGW(...) ::bg::LogLine(::bg::kLogWarning, __FILE__, __LINE__, __VA_ARGS__)
#define BG_LOGI(...) ::bg::LogLine(::bg::kLogInfo, __FILE__, __LINE__, __VA_ARGS__)
#define BG_LOGD(...) ::bg::LogLine(::bg::kLogDebug, __FILE__, __LINE__, __VA_ARGS__)
