#include "bench/zucam-window/served-program.h"

#include <thread>

#include "platform/files.h"
#include "platform/paths.h"
#include "tests/tools/zucam-window/x-display.h"

namespace zubench {

bool ServedProgram::Start(Kind kind, int port, std::string* error) {
    for (const char* dir : {"runtime", "tmp", "home", "saved", "config/ZuCam"})
        platform::MakeDirs(workspace_.file(dir), 0700);
    platform::ChildProcess::Options o;
    o.env = {{"XDG_CONFIG_HOME", workspace_.file("config")},
             {"XDG_STATE_HOME", workspace_.file("state")},
             {"XDG_RUNTIME_DIR", workspace_.file("runtime")},
             {"HOME", workspace_.file("home")},
             {"TMPDIR", workspace_.file("tmp")}};
    o.stdoutPath = workspace_.file("program.out");
    o.stderrPath = workspace_.file("program.err");
    const std::string bin = platform::ExecutableDir();
    if (kind == Kind::kZucamd) {
        o.argv = {bin + "/zucamd",     "--port",     std::to_string(port),
                  "--no-announce",     "--save-dir", workspace_.file("saved"),
                  "--no-camera-output"};
    } else {
        // The window always serves port 10080.
        const bool gl = kind == Kind::kWindowOpenGL;
        platform::WriteWholeFile(workspace_.file("config/ZuCam/settings.json"),
                                 std::string("{\"cfg_first_open\":\"0\",\"cfg_save_dir\":\"") +
                                     workspace_.file("saved") +
                                     "\",\"cfg_use_hardware_render\":\"" + (gl ? "1" : "0") +
                                     "\"}\n");
        o.argv = {bin + "/zucam", "--no-camera-output"};
        o.env.push_back({"QT_QPA_PLATFORM", "xcb"});
    }
    if (!child_.start(o)) {
        *error = "the program cannot be started (is it built beside this one?)";
        return false;
    }
    started_ = true;
    bool up = kind == Kind::kZucamd ? WaitForText(workspace_.file("state/ZuCam/zucam.log"),
                                                  "serving Wi-Fi phones", 30000)
                                    : xdisplay::WaitForMainWindow(child_.pid(), 30000, &window_);
    if (!up) {
        std::string err;
        platform::ReadWholeFile(o.stderrPath, &err);
        *error = "the program did not come up:\n" + err;
    }
    return up;
}

int ServedProgram::Stop() {
    if (!started_)
        return -1;
    started_ = false;
    return child_.stop(15000);
}

}  // namespace zubench
