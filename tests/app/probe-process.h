#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/child-process.h"
#include "platform/files.h"
#include "tests/support/temp-dir.h"

namespace zutest {

// A test program run in the background with its output in files, for tests
// that watch what it prints. Killed at the end if still running.
class ProbeProcess {
public:
    ProbeProcess(const TempDir& dir, const std::string& tag) {
        out_ = dir.file(tag + ".out");
        err_ = dir.file(tag + ".err");
    }

    bool start(const std::vector<std::string>& argv,
               std::vector<std::pair<std::string, std::string>> env = {}) {
        platform::ChildProcess::Options options;
        options.argv = argv;
        options.env = std::move(env);
        options.env.emplace_back("QT_QPA_PLATFORM", "offscreen");
#ifdef ZUCAM_LSAN_QT_SUPPRESSIONS
        // Qt's offscreen platform leaks at exit; sanitizer builds must not
        // count that against the program.
        options.env.emplace_back("LSAN_OPTIONS", "suppressions=" ZUCAM_LSAN_QT_SUPPRESSIONS);
#endif
        options.stdoutPath = out_;
        options.stderrPath = err_;
        return child_.start(options);
    }

    std::string output() const {
        return Read(out_);
    }
    std::string errors() const {
        return Read(err_);
    }
    int count(const std::string& text) const {
        const std::string all = output();
        int n = 0;
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
            ++n;
        return n;
    }
    bool waitFor(const std::string& text, int timeoutMs, bool inErrors = false) const {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if ((inErrors ? errors() : output()).find(text) != std::string::npos)
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    platform::ChildProcess& child() {
        return child_;
    }

private:
    static std::string Read(const std::string& path) {
        std::string text;
        platform::ReadWholeFile(path, &text);
        return text;
    }

    std::string out_;
    std::string err_;
    platform::ChildProcess child_;
};

}  // namespace zutest
