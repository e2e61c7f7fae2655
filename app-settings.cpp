#include "app-settings.h"

#include "hublet/config-store.h"
#include "hublet/interface.h"
#include "hublet/log-sink.h"
#include "hublet/value-store.h"
#include "platform/paths.h"
#include "value-qt.h"

namespace {

bg::ConfigStore* Store() {
    return CD ? CD->configStore : nullptr;
}

}  // namespace

std::string DefaultDeviceName() {
    return "ZuCam[" + platform::HostName() + "]";
}

bool AppSettings::GetBool(const std::string& key, bool def, bool writeDefault) {
    bg::ConfigStore* store = Store();
    if (!store)
        return def;
    bool found = false;
    const std::string text = store->get(key, &found);
    if (!found) {
        if (writeDefault)
            store->set(key, def ? "1" : "0");
        return def;
    }
    if (text == "1")
        return true;
    if (text == "0")
        return false;
    BG_LOGW("setting %s holds \"%s\", not 0 or 1; using %d", key.c_str(), text.c_str(),
            def ? 1 : 0);
    return def;
}

std::string AppSettings::GetString(const std::string& key, const std::string& def,
                                   bool writeDefault) {
    bg::ConfigStore* store = Store();
    if (!store)
        return def;
    bool found = false;
    std::string text = store->get(key, &found);
    if (found)
        return text;
    if (writeDefault)
        store->set(key, def);
    return def;
}

bool AppSettings::SetBool(const std::string& key, bool value) {
    return SetString(key, value ? "1" : "0");
}

bool AppSettings::SetString(const std::string& key, const std::string& text) {
    bg::ConfigStore* store = Store();
    return store && store->set(key, text);
}

void AppSettings::PublishDeviceName(const std::string& name) {
    if (!CD || !CD->valueStore)
        return;
    CD->valueStore->set(kDeviceNameValue, bg::ValueQt(QString::fromStdString(name)));
}

void AppSettings::LoadSettings() {
    const std::string home = platform::HomeDir();
    values.saveDir = GetString(kSaveDir, home);
    if (values.saveDir.empty())
        values.saveDir = home;
    const std::string defaultName = DefaultDeviceName();
    values.deviceName = GetString(kDeviceName, defaultName);
    if (values.deviceName.empty())
        values.deviceName = defaultName;
    PublishDeviceName(values.deviceName);
    values.firstOpen = GetBool(kFirstOpen, true);
    values.shotOpenDir = GetBool(kShotOpenDir, false);
    values.windowStaysOnTop = GetBool(kWindowStaysOnTop, false);
    values.openVirtualMic = GetBool(kOpenVirtualMic, false);
    values.playAudio = GetBool(kPlayAudio, false);
    values.useHardwareDecoder = GetBool(kUseHardwareDecoder, false);
    values.useHardwareRender = GetBool(kUseHardwareRender, false);
    loaded_ = true;
}

bool AppSettings::SaveSettings() const {
    if (!loaded_)
        return false;
    bool ok = SetString(kSaveDir, values.saveDir);
    ok = SetString(kDeviceName, values.deviceName) && ok;
    ok = SetBool(kFirstOpen, values.firstOpen) && ok;
    ok = SetBool(kShotOpenDir, values.shotOpenDir) && ok;
    ok = SetBool(kWindowStaysOnTop, values.windowStaysOnTop) && ok;
    ok = SetBool(kOpenVirtualMic, values.openVirtualMic) && ok;
    ok = SetBool(kUseHardwareRender, values.useHardwareRender) && ok;
    return ok;
}
