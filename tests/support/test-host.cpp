#include "tests/support/test-host.h"

#include <chrono>
#include <cstdlib>

#include "hublet/interface.h"
#include "hublet/log-sink.h"

namespace zutest {

TestHost::TestHost() {
    ::setenv("XDG_CONFIG_HOME", configDir().c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir_.path() + "/state").c_str(), 1);
    bg::UninitBridge();
    bg::InitBridge(0, nullptr);
    CD->logSink->setObserver([this](int, const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
        cv_.notify_all();
    });
}

TestHost::~TestHost() {
    if (CD && CD->logSink)
        CD->logSink->setObserver(nullptr);
    bg::UninitBridge();
}

std::vector<std::string> TestHost::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

int TestHost::count(const std::string& text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const std::string& l : lines_)
        n += l.find(text) != std::string::npos;
    return n;
}

bool TestHost::waitFor(const std::string& text, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const std::string& l : lines_) {
            if (l.find(text) != std::string::npos)
                return true;
        }
        return false;
    });
}

void TestHost::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

}  // namespace zutest
