#include "hublet/log-sink.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "hublet/clock.h"
#include "hublet/interface.h"
#include "hublet/plain-text.h"
#include "platform/files.h"
#include "platform/log-output.h"
#include "platform/paths.h"

namespace bg {
namespace {

std::string VFormat(const char* format, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    char small[512];
    int n = std::vsnprintf(small, sizeof(small), format, copy);
    va_end(copy);
    if (n < 0)
        return std::string();
    if (static_cast<size_t>(n) < sizeof(small))
        return std::string(small, static_cast<size_t>(n));
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, ap);
    return std::string(big.data(), static_cast<size_t>(n));
}

char LevelLetter(int level) {
    switch (level) {
        case kLogError:
            return 'E';
        case kLogWarning:
            return 'W';
        case kLogInfo:
            return 'I';
        default:
            return 'D';
    }
}

}  // namespace

LogSink::LogSink(const std::string& path, bool toStderr) : path_(path), toStderr_(toStderr) {
    openFile();
}

LogSink::~LogSink() {
    if (diverted_) {
        // From here on prints go straight to the file; what is still in the
        // pipe is written first.
        platform::EndStandardErrorDiversion(path_);
        std::lock_guard<std::mutex> lock(mutex_);
        drainStandardError(kDrainLastBytes);
        platform::CloseDivertedStandardError();
    }
    if (file_)
        std::fclose(file_);
}

void LogSink::openFile() {
    if (path_.empty())
        return;
    platform::MakeDirs(platform::DirName(path_));
    // The log names the user's phone, folders and network: for the user's eyes.
    file_ = platform::OpenPrivateAppend(path_);
    long long size = platform::FileSize(path_);
    fileSize_ = size > 0 ? size : 0;
}

bool LogSink::divertStandardError() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path_.empty() || !file_ || diverted_)
        return false;
    if (!platform::DivertStandardError([this] { pumpStandardError(); }))
        return false;
    diverted_ = true;
    // Standard error is the file now: echoing would write every line twice.
    toStderr_ = false;
    return true;
}

void LogSink::rotateIfNeeded(size_t incoming) {
    if (!file_ || fileSize_ + static_cast<long long>(incoming) <= kRotateBytes)
        return;
    std::fclose(file_);
    file_ = nullptr;
    platform::RenameFile(path_, path_ + ".1");
    openFile();
}

void LogSink::log(int level, const char* module, const char* format, ...) {
    (void)module;
    va_list ap;
    va_start(ap, format);
    std::string line = VFormat(format, ap);
    va_end(ap);
    write(level, line);
}

void LogSink::append(const char* data, size_t size) {
    rotateIfNeeded(size);
    if (file_) {
        size_t n = std::fwrite(data, 1, size, file_);
        std::fflush(file_);
        fileSize_ += static_cast<long long>(n);
    }
}

void LogSink::drainStandardError(size_t limit) {
    char buffer[65536];
    size_t total = 0;
    while (total < limit) {
        size_t n = platform::ReadDivertedStandardError(buffer, sizeof(buffer));
        if (n == 0)
            return;
        append(buffer, n);
        total += n;
    }
}

void LogSink::pumpStandardError() {
    std::lock_guard<std::mutex> lock(mutex_);
    // A bounded share at a time: an endless printer must not keep the lock.
    drainStandardError(kDrainShareBytes);
}

void LogSink::write(int level, const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Prints that came before this line stay before it in the file.
    if (diverted_)
        drainStandardError(kDrainShareBytes);
    append(line.data(), line.size());
    if (toStderr_) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
    if (observer_)
        observer_(level, line);
}

void LogSink::setObserver(Observer observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

const char* SourceBaseName(const char* path) {
    if (!path)
        return "";
    const char* base = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\')
            base = p + 1;
    }
    return base;
}

void LogLine(int level, const char* file, int line, const char* format, ...) {
    Interface* host = CD;
    if (!host || !host->logSink)
        return;
    va_list ap;
    va_start(ap, format);
    // Messages carry names and text from outside: escaped, one message is
    // always exactly one line of the file.
    std::string message = EscapeControls(VFormat(format, ap));
    va_end(ap);
    std::string time = host->clock ? host->clock->format("%m%d-%H:%M:%S") : std::string();
    char head[64];
    std::snprintf(head, sizeof(head), "[%c][bg] ", LevelLetter(level));
    char lineNo[32];
    std::snprintf(lineNo, sizeof(lineNo), " %-4d: \"", line);
    std::string text;
    text.reserve(time.size() + message.size() + 64);
    text.append(time).append(head).append(SourceBaseName(file)).append(lineNo);
    text.append(message).append("\"\n");
    host->logSink->write(level, text);
}

}  // namespace bg
