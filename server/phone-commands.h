#pragma once

#include <functional>

#include <json/value.h>

// What the phone's own commands do on the desktop. An empty action means the
// command is not handled and the phone gets a failure reply.
struct PhoneCommandActions {
    std::function<void()> screenshot;   // 4
    std::function<void()> startRecord;  // 5, "type" 1
    std::function<void()> stopRecord;   // 5, "type" 0
    std::function<bool()> isRecording;  // 5, "type" 2
    std::function<void()> hold;         // 6
    // Asked before a screenshot or a recording start is answered: false
    // (with the reason logged) makes it a failure reply, so the phone never
    // hears of a success that writes nothing. Empty: not asked.
    std::function<bool(const char* nameTemplate)> canSave;
};

class MediaCallback;

// Whether a file named after `nameTemplate` (output_path::kShotName or
// kRecordName) can be written in the host's save folder: it exists and the
// screenshot's write test passes. Logs the reason when not.
bool CanSaveInHostFolder(const char* nameTemplate);

// Screenshot and record commands go to `callback`; the record query reads the
// host's recording flag, and the save folder is the host's. `hold` is left
// empty.
PhoneCommandActions OwnerActions(MediaCallback* callback);

// Handles one command the stream server does not consume itself. `reply` is
// cleared first and filled with the reply data. True when handled. A request
// whose data cannot be read as expected is logged ("parse custom cmd error")
// and refused.
bool HandlePhoneCommand(int type, const Json::Value& data, Json::Value* reply,
                        const PhoneCommandActions& actions);
