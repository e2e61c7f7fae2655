#include "tests/tools/zucamd/e2e-support.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/files.h"
#include "platform/paths.h"

namespace e2e {

bool ReadY4m(const std::string& path, std::vector<Picture>* pictures, std::string* error) {
    std::string data;
    if (!platform::ReadWholeFile(path, &data)) {
        *error = "cannot read " + path;
        return false;
    }
    size_t eol = data.find('\n');
    if (data.compare(0, 10, "YUV4MPEG2 ") != 0 || eol == std::string::npos) {
        *error = "no YUV4MPEG2 header";
        return false;
    }
    int w = 0;
    int h = 0;
    std::istringstream header(data.substr(10, eol - 10));
    std::string field;
    while (header >> field) {
        if (field[0] == 'W')
            w = std::atoi(field.c_str() + 1);
        if (field[0] == 'H')
            h = std::atoi(field.c_str() + 1);
    }
    if (w <= 0 || h <= 0) {
        *error = "header without a size";
        return false;
    }
    const size_t frameBytes =
        static_cast<size_t>(w) * h + 2 * (static_cast<size_t>(w / 2) * (h / 2));
    size_t at = eol + 1;
    while (at < data.size()) {
        size_t end = data.find('\n', at);
        if (end == std::string::npos || data.compare(at, 5, "FRAME") != 0 ||
            end + 1 + frameBytes > data.size()) {
            *error = "broken FRAME record at byte " + std::to_string(at);
            return false;
        }
        pictures->push_back({w, h, data.substr(end + 1, frameBytes)});
        at = end + 1 + frameBytes;
    }
    return true;
}

std::vector<Picture> ReadRawI420(const std::string& path, int width, int height) {
    std::vector<Picture> pictures;
    std::string data;
    if (!platform::ReadWholeFile(path, &data))
        return pictures;
    const size_t frameBytes =
        static_cast<size_t>(width) * height + 2 * (static_cast<size_t>(width / 2) * (height / 2));
    for (size_t at = 0; at + frameBytes <= data.size(); at += frameBytes) {
        pictures.push_back({width, height, data.substr(at, frameBytes)});
    }
    return pictures;
}

int PatternIndex(const Picture& p) {
    const int bits = 16;
    const int blockW = p.width / bits;
    const int blockH = p.height / 8 < 16 ? 16 : p.height / 8;
    int index = 0;
    for (int bit = 0; bit < bits; ++bit) {
        int x = bit * blockW + blockW / 2;
        int y = blockH / 2;
        auto luma = static_cast<unsigned char>(p.bytes[static_cast<size_t>(y) * p.width + x]);
        if (luma > 60 && luma < 190)
            return -1;
        index = (index << 1) | (luma >= 190 ? 1 : 0);
    }
    return index;
}

std::string BinDir() {
    std::string dir = platform::GetEnv("ZUCAM_BIN_DIR");
    return dir.empty() ? platform::ExecutableDir() : dir;
}

std::string Bin(const std::string& name) {
    return BinDir() + "/" + name;
}

std::vector<std::pair<std::string, std::string>> IsolatedEnv(const zutest::TempDir& dir) {
    const std::string opener = dir.file("open-folder.sh");
    platform::WriteWholeFile(opener,
                             "#!/bin/sh\necho \"$@\" >> \"" + dir.file("opened.log") + "\"\n");
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    return {{"XDG_CONFIG_HOME", dir.file("config")},
            {"XDG_STATE_HOME", dir.file("state")},
            {"XDG_RUNTIME_DIR", dir.file("runtime")},
            {"ZUCAM_OPEN_COMMAND", opener},
            {"QT_QPA_PLATFORM", "offscreen"}};
}

bool Start(platform::ChildProcess* child, const zutest::TempDir& dir, const std::string& tag,
           std::vector<std::string> argv,
           const std::vector<std::pair<std::string, std::string>>& extraEnv) {
    platform::MakeDirs(dir.file("runtime"), 0700);
    platform::ChildProcess::Options options;
    options.argv = std::move(argv);
    options.env = IsolatedEnv(dir);
    options.env.insert(options.env.end(), extraEnv.begin(), extraEnv.end());
    options.stdoutPath = dir.file(tag + ".out");
    options.stderrPath = dir.file(tag + ".err");
    return child->start(options);
}

bool StartInPidNamespace(platform::ChildProcess* child, const zutest::TempDir& dir,
                         const std::string& tag, std::vector<std::string> argv,
                         const std::vector<std::pair<std::string, std::string>>& extraEnv,
                         long* pid) {
    // --kill-child: a test that kills the creator on a time-out must not
    // leave the program behind.
    std::vector<std::string> wrapped = {"unshare",      "--pid",        "--fork",
                                        "--mount-proc", "--kill-child", "--"};
    wrapped.insert(wrapped.end(), argv.begin(), argv.end());
    if (!Start(child, dir, tag, wrapped, extraEnv))
        return false;
    // The creator forks the program at once; its only child is the program.
    const std::string children = "/proc/" + std::to_string(child->pid()) + "/task/" +
                                 std::to_string(child->pid()) + "/children";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline && child->running()) {
        long found = std::atol(ReadText(children).c_str());
        if (found > 0) {
            *pid = found;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool StartZucamd(platform::ChildProcess* zucamd, const zutest::TempDir& dir,
                 const std::vector<std::string>& extraArgs, const Env& extraEnv) {
    std::vector<std::string> argv = {Bin("zucamd"),   "--port",     "10080",
                                     "--no-announce", "--save-dir", dir.path()};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    if (!Start(zucamd, dir, "zucamd", argv, extraEnv))
        return false;
    // Generous: a sanitizer build on a busy machine starts slowly.
    return WaitForText(e2e::ZucamdLog(dir), "serving Wi-Fi phones", 30000);
}

std::vector<std::string> PhoneSim(int port, const std::vector<std::string>& options) {
    std::vector<std::string> argv = {Bin("zucam-phone-sim"), "--port", std::to_string(port)};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
}

std::string ZucamdLog(const zutest::TempDir& dir) {
    return dir.file("state") + "/ZuCam/zucam.log";
}

std::string ReadText(const std::string& path) {
    std::string text;
    platform::ReadWholeFile(path, &text);
    return text;
}

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ReadText(path).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

int CountOf(const std::string& haystack, const std::string& text) {
    if (text.empty())
        return 0;
    int n = 0;
    for (size_t at = haystack.find(text); at != std::string::npos;
         at = haystack.find(text, at + text.size())) {
        ++n;
    }
    return n;
}

std::vector<std::string> FilesStartingWith(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0)
            files.push_back(entry.path().string());
    }
    return files;
}

bool SmallDisk(const std::string& dir, std::vector<std::string>* wrapper) {
    std::filesystem::create_directories(dir);
    const std::string mount =
        "mount -t tmpfs -o size=1m tmpfs \"$0\" && head -c 600000 /dev/zero > \"$0/filler\"";
    std::string out;
    if (platform::RunProcess({"unshare", "-m", "sh", "-c", mount, dir}, 10000, &out) != 0)
        return false;
    *wrapper = {"unshare", "-m", "sh", "-c", mount + " && exec \"$@\"", dir};
    return true;
}

std::string SeenBy(long pid, const std::string& path) {
    return "/proc/" + std::to_string(pid) + "/root" + path;
}

}  // namespace e2e
