#pragma once

#include <string>

namespace zu {
class QAdbTools;
}

// What the connection servers need from the program that hosts them: the
// application object in the windowed program, zucamd's own host headless.
// One instance per process, set by that host at start-up.
class AppContext {
public:
    virtual ~AppContext() = default;

    static AppContext* instance();
    // Pass null to clear. Not thread-safe: set before any server starts.
    static void setInstance(AppContext* context);

    // The application's `recording` flag (read by the record query command).
    virtual bool IsRecording() const = 0;
    // The name this computer shows on the phone.
    virtual std::string DeviceName() const = 0;
    // Where screenshots and recordings go. Any thread.
    virtual std::string SaveDir() const = 0;
    // The ADB tools object, created on first use (GUI thread only).
    virtual zu::QAdbTools* AdbTools() = 0;
    // Schedules the ADB tools object for deletion, if one exists.
    virtual void ReleaseAdbTools() = 0;
    // The level meter of the virtual microphone (0..10); may be called from
    // any thread, the host forwards it to its window when it has one.
    virtual void UpdateVolumn(int level) = 0;
    // The "cfg_play_audio" setting: play the phone's audio on the speakers.
    virtual bool PlayAudio() const = 0;
};
