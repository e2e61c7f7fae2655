#pragma once

#include <mutex>
#include <string>
#include <vector>

// What zucamd tells the person at the terminal: one English line per event
// they care about, on standard output, and the problems that stop it or need
// them, on the terminal's standard error. The log keeps the program's own
// texts; this is written for people. Any thread.
class TerminalReport {
public:
    TerminalReport() = default;
    TerminalReport(const TerminalReport&) = delete;
    TerminalReport& operator=(const TerminalReport&) = delete;

    // "host:port" texts a phone can reach, and what to do next.
    void Listening(const std::vector<std::string>& endpoints, bool usb, const std::string& name);
    void AdbMissing();
    // The phone page's links, and a QR code of the first for a phone to scan.
    void PhonePage(const std::vector<std::string>& links, const std::string& qrText);
    void PhoneConnected(const std::string& name, const char* transport);
    // `live`: the camera other programs see shows it.
    void FirstPicture(int width, int height, bool live = true);
    // The camera for other programs works, or cannot work (with what to do).
    void CameraOutput(bool working, int code);
    void PhoneGone(bool pictureKept, int holdSeconds);
    void HoldRanOut();
    // The phone's pictures are dropped: their format cannot be shown.
    void UnsupportedPicture();
    void RecordingStarted(const std::string& path);
    void RecordingStopped(const std::string& path);
    void Screenshot(const std::string& path);
    // A failure the person can act on, with what to do about it.
    void Problem(const std::string& text);

    // The English for one of the program's own failure texts (output_path).
    static std::string Explain(const std::string& message);

    // The texts of the lines, for the tests that read the terminal.
    static std::string PortInUse(int port);
    static std::string CameraInUse();
    static std::string SaveDirUnusable(const std::string& dir, const std::string& why);

    // One line on standard output.
    void Event(const std::string& line);

private:
    // Lines from several threads never interleave.
    std::mutex mutex_;
};
