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
// rotated once it passes kRotateBytes, keeping one previous file (".1").
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

    // Sends everything the process prints to standard error into the log
    // file instead (also after a rotation), and stops echoing lines there:
    // the terminal stays free for the messages meant for the user. False,
    // with nothing changed, when there is no log file to send it to.
    bool divertStandardError();

    // Sees every line after it is written (tests and diagnostics). Called with
    // the sink's lock held: an observer must not log.
    using Observer = std::function<void(int level, const std::string& line)>;
    void setObserver(Observer observer);

    const std::string& path() const { return path_; }

private:
    void openFile();
    void rotateIfNeeded(size_t incoming);

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
