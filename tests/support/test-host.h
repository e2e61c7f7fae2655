#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/temp-dir.h"

namespace zutest {

// Brings the module host up for one test with its own settings and log
// folders (XDG_CONFIG_HOME and XDG_STATE_HOME point into a temporary
// directory) and records every log line. Shuts the host down at the end.
class TestHost {
public:
    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    const std::string& dir() const { return dir_.path(); }
    std::string configDir() const { return dir_.path() + "/config"; }
    std::string settingsPath() const { return configDir() + "/ZuCam/settings.json"; }
    std::string logPath() const { return dir_.path() + "/state/ZuCam/zucam.log"; }

    std::vector<std::string> lines() const;
    // How many recorded lines contain `text`.
    int count(const std::string& text) const;
    bool contains(const std::string& text) const { return count(text) > 0; }
    // Waits up to timeoutMs for a line containing `text`.
    bool waitFor(const std::string& text, int timeoutMs) const;
    void clear();

private:
    TempDir dir_;
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::vector<std::string> lines_;
};

}  // namespace zutest
