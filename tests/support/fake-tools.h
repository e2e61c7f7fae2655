#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "tests/support/temp-dir.h"

namespace zutest {

// Stand-ins for the outside tools ZuCam runs: "pactl" (the virtual
// microphone driver) and "adb" (the ADB tools). Each run appends its
// arguments, one a line, and a "--" line to "<tool>.calls"; pactl answers
// from files the test writes (<command>.out, .err, .rc and .sleep, "list"
// keyed by its type: "list-sources"), adb always succeeds silently. The
// microphone link's folder (XDG_RUNTIME_DIR) is private too, so a real
// ZuCam's link is never touched and no real sound server is ever changed.
class FakeTools {
public:
    FakeTools() {
        Write(bin_.file("pactl"), std::string(kLogCall) + kPactlAnswer);
        Write(bin_.file("adb"), std::string(kLogCall) + "exit 0\n");
        // Qt wants a runtime folder of the user's alone.
        std::filesystem::permissions(runtime_.path(), std::filesystem::perms::owner_all);
    }

    ~FakeTools() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            platform::SetEnv(it->first.c_str(), it->second);
    }

    FakeTools(const FakeTools&) = delete;
    FakeTools& operator=(const FakeTools&) = delete;

    // The environment that puts the fakes first, for a child process.
    std::vector<std::pair<std::string, std::string>> env() const {
        return {{"PATH", bin_.path() + ":" + platform::GetEnv("PATH")},
                {"FAKE_TOOLS_DIR", bin_.path()},
                {"XDG_RUNTIME_DIR", runtime_.path()}};
    }

    // Puts the fakes first for this process until the object goes.
    void useInThisProcess() {
        for (const auto& entry : env()) {
            saved_.emplace_back(entry.first, platform::GetEnv(entry.first.c_str()));
            platform::SetEnv(entry.first.c_str(), entry.second);
        }
    }

    void answer(const std::string& key, const std::string& ext, const std::string& text) const {
        Write(bin_.file(key + "." + ext), text);
    }
    std::string runtimeDir() const { return runtime_.path(); }

    // Every run of `tool` so far, as its argument lists.
    std::vector<std::vector<std::string>> calls(const std::string& tool) const {
        std::vector<std::vector<std::string>> all;
        std::ifstream in(bin_.file(tool + ".calls"));
        std::vector<std::string> current;
        for (std::string line; std::getline(in, line);) {
            if (line == "--") {
                all.push_back(current);
                current.clear();
            } else {
                current.push_back(line);
            }
        }
        return all;
    }

private:
    static constexpr const char* kLogCall =
        "#!/bin/sh\n"
        "d=\"$FAKE_TOOLS_DIR\"\n"
        "{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done; echo '--'; } "
        ">> \"$d/$(basename \"$0\").calls\"\n";
    static constexpr const char* kPactlAnswer =
        "key=\"$1\"\n"
        "[ \"$1\" = list ] && key=\"list-$3\"\n"
        "[ -f \"$d/$key.sleep\" ] && exec sleep \"$(cat \"$d/$key.sleep\")\"\n"
        "[ -f \"$d/$key.out\" ] && cat \"$d/$key.out\"\n"
        "[ -f \"$d/$key.err\" ] && cat \"$d/$key.err\" >&2\n"
        "exit \"$(cat \"$d/$key.rc\" 2>/dev/null || echo 0)\"\n";

    static void Write(const std::string& path, const std::string& text) {
        platform::WriteFileAtomic(path, text);
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }

    TempDir bin_;
    TempDir runtime_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

}  // namespace zutest
