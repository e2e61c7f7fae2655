#include "server/phone-commands.h"

#include <json/json.h>

#include "app-context.h"
#include "hublet/log-sink.h"
#include "output-path.h"
#include "server/media-callback.h"

namespace {

bool HandleRecordCommand(const Json::Value& data, Json::Value* reply,
                         const PhoneCommandActions& actions) {
    // Throws for a "data" that is not an object or a "type" that is not a number.
    int sub = data["type"].asInt();
    switch (sub) {
        case 0:
            (*reply)["state"] = Json::UInt(0);
            if (actions.stopRecord)
                actions.stopRecord();
            return true;
        case 1:
            if (actions.canSave && !actions.canSave(output_path::kRecordName))
                return false;
            (*reply)["state"] = Json::UInt(1);
            if (actions.startRecord)
                actions.startRecord();
            return true;
        case 2: {
            bool recording = actions.isRecording && actions.isRecording();
            (*reply)["state"] = Json::UInt(recording ? 1 : 0);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

bool CanSaveInHostFolder(const char* nameTemplate) {
    AppContext* app = AppContext::instance();
    if (!app)
        return false;
    const std::string dir = app->SaveDir();
    std::string message;
    if (output_path::Check(dir, output_path::Compose(dir, nameTemplate), &message))
        return true;
    BG_LOGE("%s (%s)", message.c_str(), dir.c_str());
    return false;
}

PhoneCommandActions OwnerActions(MediaCallback* callback) {
    PhoneCommandActions actions;
    actions.screenshot = [callback] {
        if (callback)
            callback->OnScreenShotRequest();
    };
    actions.startRecord = [callback] {
        if (callback)
            callback->OnStartRecordRequest();
    };
    actions.stopRecord = [callback] {
        if (callback)
            callback->OnStopRecordRequest();
    };
    actions.isRecording = [] {
        AppContext* app = AppContext::instance();
        return app && app->IsRecording();
    };
    actions.canSave = [](const char* nameTemplate) { return CanSaveInHostFolder(nameTemplate); };
    return actions;
}

bool HandlePhoneCommand(int type, const Json::Value& data, Json::Value* reply,
                        const PhoneCommandActions& actions) {
    if (!reply)
        return false;
    *reply = Json::Value();
    try {
        switch (type) {
            case 4:
                if (!actions.screenshot)
                    return false;
                if (actions.canSave && !actions.canSave(output_path::kShotName))
                    return false;
                actions.screenshot();
                return true;
            case 5:
                return HandleRecordCommand(data, reply, actions);
            case 6:
                if (!actions.hold)
                    return false;
                actions.hold();
                return true;
            default:
                return false;
        }
    } catch (const Json::Exception& e) {
        BG_LOGI("parse custom cmd error: %s", e.what());
        *reply = Json::Value();
        return false;
    }
}
