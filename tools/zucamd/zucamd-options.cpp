#include "tools/zucamd/zucamd-options.h"

#include <cstdlib>

namespace {

bool ParsePort(const std::string& text, int* port, long lowest = 1) {
    if (text.empty())
        return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (!end || *end != '\0' || v < lowest || v > 65535)
        return false;
    *port = static_cast<int>(v);
    return true;
}

}  // namespace

bool ZucamdOptions::Parse(int argc, char** argv, std::string* error) {
    bool portGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "--verbose" || arg == "-v") {
            verbose = true;
        } else if (arg == "--no-camera") {
            noCamera = true;
        } else if (arg == "--no-camera-output") {
            cameraOutput = false;
        } else if (arg == "--port") {
            std::string v;
            if (!value(&v))
                return false;
            if (!ParsePort(v, &port)) {
                *error = "--port takes a port number from 1 to 65535, not \"" + v + "\"";
                return false;
            }
            portGiven = true;
        } else if (arg == "--web-port") {
            std::string v;
            if (!value(&v))
                return false;
            if (!ParsePort(v, &webPort, 0)) {
                *error =
                    "--web-port takes a port number from 0 (no page) to 65535, not \"" + v + "\"";
                return false;
            }
        } else if (arg == "--new-web-link") {
            newWebLink = true;
        } else if (arg == "--no-announce") {
            announce = false;
        } else if (arg == "--save-dir") {
            if (!value(&saveDir))
                return false;
            if (saveDir.empty()) {
                *error = "--save-dir needs a directory";
                return false;
            }
        } else if (arg == "--usb") {
            usb = true;
        } else if (arg == "--vmic") {
            virtualMic = true;
        } else {
            *error = "unknown option " + arg + " (see --help)";
            return false;
        }
    }
    if (usb && !portGiven)
        port = 11080;
    return true;
}

std::string ZucamdOptions::Usage() {
    return "Usage: zucamd [options]\n"
           "\n"
           "ZuCam without a window: serves one phone, feeds every picture to the\n"
           "virtual camera queue (read it with zucam-camera), and answers the\n"
           "phone's screenshot and record commands with files in the save directory.\n"
           "Stops cleanly on SIGINT or SIGTERM.\n"
           "\n"
           "Options:\n"
           "  --port N         command port (default 10080; 11080 with --usb)\n"
           "  --no-announce    do not announce this computer on the local networks\n"
           "  --save-dir DIR   where screenshots and recordings go (default: the\n"
           "                   cfg_save_dir setting, else the home directory)\n"
           "  --usb            serve a phone on the USB cable through adb reverse\n"
           "                   instead of Wi-Fi (no announcements)\n"
           "  --vmic           open the virtual microphone (installs the PulseAudio\n"
           "                   source ZuAudioDevice when it is missing, and removes\n"
           "                   it again at exit)\n"
           "  --no-camera      serve the phone without feeding the camera (for a\n"
           "                   second zucamd beside one that owns the camera)\n"
           "  --no-camera-output\n"
           "                   do not start zucam-camera, the camera other programs\n"
           "                   see (started by default when it is beside zucamd)\n"
           "  --web-port N     the phone page, for a phone's browser instead of the app\n"
           "                   (default 10090; 0: no page)\n"
           "  --new-web-link   make a new link for the phone page; the old one stops\n"
           "                   working\n"
           "  -v, --verbose    also show the log and the debug prints on the terminal\n"
           "                   (by default they only go to the log file)\n"
           "  --version        the version\n"
           "  --help           this text\n"
           "\n"
           "Settings: ${XDG_CONFIG_HOME:-~/.config}/ZuCam/settings.json\n"
           "Log:      ${XDG_STATE_HOME:-~/.local/state}/ZuCam/zucam.log\n";
}
