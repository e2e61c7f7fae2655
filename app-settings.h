#pragma once

#include <string>

// "ZuCam[<host name>]": the name this computer shows on the phone by default.
std::string DefaultDeviceName();

// The user settings of ZuCam, kept as texts in the module host's
// configuration store. Used by the windowed program and by zucamd alike, so
// it needs no Qt application object.
//
// The nine keys, in this order (defaults in brackets, * = saved at exit):
//   cfg_save_dir* (home), cfg_device_name* (DefaultDeviceName()),
//   cfg_first_open* (1), cfg_shot_opendir* (0), cfg_window_stays_on_top* (0),
//   cfg_open_vmic* (0), cfg_play_audio (0), cfg_use_hardware_decoder (0),
//   cfg_use_hardware_render* (0).
// cfg_play_audio and cfg_use_hardware_decoder are only read: their stored
// value changes only when the key is first created.
class AppSettings {
public:
    static constexpr const char* kSaveDir = "cfg_save_dir";
    static constexpr const char* kDeviceName = "cfg_device_name";
    static constexpr const char* kFirstOpen = "cfg_first_open";
    static constexpr const char* kShotOpenDir = "cfg_shot_opendir";
    static constexpr const char* kWindowStaysOnTop = "cfg_window_stays_on_top";
    static constexpr const char* kOpenVirtualMic = "cfg_open_vmic";
    static constexpr const char* kPlayAudio = "cfg_play_audio";
    static constexpr const char* kUseHardwareDecoder = "cfg_use_hardware_decoder";
    static constexpr const char* kUseHardwareRender = "cfg_use_hardware_render";
    // Named value through which the stream server learns the device name.
    static constexpr const char* kDeviceNameValue = "zucam_device_name";

    struct Values {
        std::string saveDir;
        std::string deviceName;
        bool firstOpen = true;
        bool shotOpenDir = false;
        bool windowStaysOnTop = false;
        bool openVirtualMic = false;
        bool playAudio = false;
        bool useHardwareDecoder = false;
        bool useHardwareRender = false;
    };

    // A stored flag is "1" or "0". Anything else reads as `def` (logged). A
    // missing key yields `def`, stored first when writeDefault is set.
    static bool GetBool(const std::string& key, bool def, bool writeDefault = true);
    // The stored text whole; a missing key yields `def`, stored first when
    // writeDefault is set.
    static std::string GetString(const std::string& key, const std::string& def,
                                 bool writeDefault = true);
    // False when the store could not save the value (it is logged there).
    static bool SetBool(const std::string& key, bool value);
    static bool SetString(const std::string& key, const std::string& text);

    // Publishes the device name as the named value kDeviceNameValue.
    static void PublishDeviceName(const std::string& name);

    // Reads the nine keys in table order, creating missing ones with their
    // defaults. An empty save directory or device name is replaced by its
    // default for this run. Publishes the device name.
    void LoadSettings();
    // Stores the keys marked saved, in table order. Does nothing (returns
    // false) before LoadSettings: saving values that were never loaded would
    // overwrite the user's settings with blanks.
    bool SaveSettings() const;
    bool loaded() const { return loaded_; }

    Values values;

private:
    bool loaded_ = false;
};
