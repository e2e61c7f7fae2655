#include "tools/zucamd/terminal-report.h"

#include "camera-output-process.h"

#include <cstdio>

#include "hublet/plain-text.h"
#include "output-path.h"
#include "platform/log-output.h"

namespace {

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += i + 1 == items.size() ? " and " : ", ";
        text += items[i];
    }
    return text;
}

}  // namespace

void TerminalReport::Listening(const std::vector<std::string>& endpoints, bool usb,
                               const std::string& name) {
    Event("zucamd: listening on " + Joined(endpoints) +
          (usb ? " for a phone on the USB cable" : " as \"" + name + "\""));
    if (usb) {
        Event(
            "zucamd: next: plug in an Android phone with USB debugging on (Settings > Developer "
            "options), allow this computer on the phone, then open the ZuCam app");
    } else {
        Event(
            "zucamd: next: open the ZuCam app on a phone in the same network and pick this "
            "computer, or try without a phone: zucam-phone-sim --pattern 1280x720@30");
    }
}

void TerminalReport::PhonePage(const std::vector<std::string>& links, const std::string& qrText) {
    for (const std::string& link : links) {
        // The loopback link reaches a phone only through the cable, once adb
        // forwards the port to this computer; said so, nobody types it on Wi-Fi.
        const bool usb = link.rfind("http://localhost:", 0) == 0;
        const std::string port = usb ? link.substr(17, link.find('/', 17) - 17) : std::string();
        Event(usb ? "zucamd: no app? with the phone on the USB cable (adb reverse tcp:" + port +
                        " tcp:" + port + "), open in the phone's browser: " + link
                  : "zucamd: no app? open in the phone's browser: " + link);
    }
    if (qrText.empty())
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    std::fputs(qrText.c_str(), stdout);
    std::fflush(stdout);
}

void TerminalReport::AdbMissing() {
    Problem(
        "adb is not installed, so no USB phone can be reached: install it (apt-get install adb) "
        "or put adb beside zucamd; zucamd keeps looking");
}

void TerminalReport::PhoneConnected(const std::string& name, const char* transport) {
    // The name is the phone's to choose: text, never terminal control.
    Event("zucamd: phone \"" + bg::PlainText(name) + "\" connected (" + transport + ")");
}

void TerminalReport::FirstPicture(int width, int height, bool live) {
    Event("zucamd: first picture " + std::to_string(width) + "x" + std::to_string(height) +
          (live ? ", the camera is live" : "; other programs see no camera (see above)"));
}

void TerminalReport::CameraOutput(bool working, int code) {
    if (working) {
        Event("zucamd: the camera \"ZuCam\" is there for other programs");
        return;
    }
    // Our own text: its lines (the commands to type) stay lines.
    const std::string advice = CameraOutputProcess::NoOutputAdvice(code);
    std::lock_guard<std::mutex> lock(mutex_);
    std::string shown = "zucamd: ";
    size_t start = 0;
    for (size_t end; (end = advice.find('\n', start)) != std::string::npos; start = end + 1)
        shown += bg::EscapeControls(advice.substr(start, end - start)) + "\n";
    platform::WriteTerminal(shown + bg::EscapeControls(advice.substr(start)) + "\n");
}

void TerminalReport::PhoneGone(bool pictureKept, int holdSeconds) {
    if (pictureKept) {
        Event("zucamd: phone gone; its last picture stays for " + std::to_string(holdSeconds) +
              " s in case it comes back");
    } else {
        Event("zucamd: phone gone; waiting for the next one");
    }
}

void TerminalReport::HoldRanOut() {
    Event("zucamd: the phone did not come back; camera stopped, waiting for the next phone");
}

void TerminalReport::UnsupportedPicture() {
    Problem(
        "the phone sends a picture format ZuCam cannot show (4:4:4 or more than 8 bits); its "
        "pictures are dropped: set the phone to ordinary 8-bit 4:2:0 video");
}

void TerminalReport::RecordingStarted(const std::string& path) {
    Event("zucamd: recording to " + path);
}

void TerminalReport::RecordingStopped(const std::string& path) {
    Event("zucamd: recording saved: " + path);
}

void TerminalReport::Screenshot(const std::string& path) {
    Event("zucamd: screenshot saved: " + path);
}

void TerminalReport::Problem(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    platform::WriteTerminal("zucamd: " + bg::EscapeControls(text) + "\n");
}

std::string TerminalReport::Explain(const std::string& message) {
    static const struct {
        const char* text;
        const char* english;
    } kTable[] = {
        {output_path::kMsgNoPicture, "no picture has arrived yet"},
        {output_path::kMsgNoDirectory, "the save folder does not exist (see --save-dir)"},
        {output_path::kMsgNotWritable, "the save folder cannot be written to (see --save-dir)"},
        {output_path::kMsgShotFailed, "the picture could not be written"},
        {output_path::kMsgRecordFailed, "the recording could not be started (see the log)"},
    };
    for (const auto& entry : kTable) {
        if (message == entry.text)
            return entry.english;
    }
    return message;
}

std::string TerminalReport::PortInUse(int port) {
    return "port " + std::to_string(port) + " is in use (another zucamd or ZuCam?); stop it or " +
           "try --port N";
}

std::string TerminalReport::CameraInUse() {
    return "the camera is already fed by another ZuCam or zucamd; stop it first, or run with "
           "--no-camera to serve a phone without the camera";
}

std::string TerminalReport::SaveDirUnusable(const std::string& dir, const std::string& why) {
    return "cannot save screenshots and recordings in " + dir + " (" + why +
           "); give a folder you can write to with --save-dir DIR";
}

void TerminalReport::Event(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fputs((bg::EscapeControls(line) + "\n").c_str(), stdout);
    std::fflush(stdout);
}
