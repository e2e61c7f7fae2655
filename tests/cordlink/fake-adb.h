#pragma once

#include <string>
#include <vector>

#include "tests/support/temp-dir.h"

namespace cordlinktest {

// A stand-in for adb: a shell script in its own temporary folder. It is not
// named "adb": every QAdbTools destructor ends the first process of that name,
// and test programs running side by side must not end each other's fakes.
// Every run appends its arguments, each in brackets ("[reverse][--list]"), to
// a call log and its process id to a pid file, then runs `body` with the
// arguments in "$@".
class FakeAdb {
public:
    explicit FakeAdb(const std::string& body);

    std::string path() const { return dir_.file("fake-adb"); }
    std::wstring widePath() const;
    // One entry per run, oldest first.
    std::vector<std::string> calls() const;
    // Process id of the last run, -1 when none ran.
    long lastPid() const;

private:
    zutest::TempDir dir_;
};

}  // namespace cordlinktest
