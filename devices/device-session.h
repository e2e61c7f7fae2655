#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/process-identity.h"

class VirtaulAudioDeviceManager;

// What one run of ZuCam (or zucamd) sets up outside itself, and takes down
// again at exit only when it was this run that set it up:
//   - the virtual microphone source: loaded when missing; unloaded at exit
//     when this run loaded it, or when a killed run of this user left it
//     (a source another living run loaded, or someone else's, stays);
//   - the adb server: the first adb call starts one when none runs; it is
//     ended at exit when this run (or an earlier run that crashed) started
//     it, never an adb server someone else runs.
// The adb server this run started is remembered in the runtime folder, so the
// next run still ends it when this one dies without cleaning up.
//
// UI-free: the application object and zucamd both drive it, and the windows
// turn its results into messages. Used on one thread (the GUI or main thread).
class DeviceSession {
public:
    // How it reaches the world; tests replace every piece.
    struct Tools {
        std::function<bool()> findMicSource;
        std::function<bool()> loadMicSource;
        std::function<void()> unloadMicSource;
        // Whether the source there was left behind by a killed run of this
        // user; this run then adopts it and unloads it at exit.
        std::function<bool()> findOrphanedMicSource;
        std::function<std::shared_ptr<VirtaulAudioDeviceManager>()> openMicLink;
        // The adb servers of this user that run now.
        std::function<std::vector<platform::ProcessIdentity>()> listAdbServers;
        std::function<bool(long pid)> endProcess;
        // Where the started server is remembered.
        std::string adbRecordPath;
        // This process, when it adopts what its children leave behind: a
        // server is then ours only when it is its child. 0: not known.
        long selfPid = 0;
    };
    static Tools SystemTools();

    explicit DeviceSession(Tools tools = SystemTools());
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    enum class MicResult {
        kOpened,
        kNotInstalled,   // the source is missing and nobody asked to load it
        kDeclined,       // the source is missing and the answer was no
        kInstallFailed,  // loading the source failed
        kOpenFailed,     // the source is there, the link cannot be opened
    };
    // Opens the microphone link into *link (null unless kOpened). A missing
    // source is loaded only when `askInstall` is set and answers true.
    MicResult OpenVirtualMic(const std::function<bool()>& askInstall,
                             std::shared_ptr<VirtaulAudioDeviceManager>* link);
    // At exit, after the last link is gone: unloads the source if this run
    // loaded or adopted it.
    void ReleaseMicSource();
    bool LoadedMicSource() const { return loadedMicSource_; }

    // Call before every adb call: the first call notes the adb servers that
    // already run; later calls remember a server that came up since.
    void BeforeAdbUse();
    // Ends the adb server(s) this run started, and any an earlier run left
    // behind; forgets them. Nothing else is touched. How many were ended.
    int EndAdbServer();

private:
    std::vector<platform::ProcessIdentity> Remembered() const;
    void Remember(const std::vector<platform::ProcessIdentity>& servers) const;
    std::vector<platform::ProcessIdentity> StartedSince() const;

    Tools tools_;
    bool loadedMicSource_ = false;
    bool adbSeen_ = false;
    std::vector<platform::ProcessIdentity> foreignServers_;
};
