#include "hublet/config-store.h"

#include <json/json.h>

#include <exception>
#include <memory>

#include "hublet/log-sink.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace bg {

ConfigStore::ConfigStore(const std::string& path)
    : path_(path), foreign_(new Json::Value(Json::objectValue)) {
    load();
}

ConfigStore::~ConfigStore() = default;

void ConfigStore::load() {
    if (!platform::FileExists(path_))
        return;
    if (platform::FileSize(path_) > kMaxFileBytes) {
        quarantine("is too large to be a settings file");
        return;
    }
    std::string text;
    std::string error;
    if (!platform::ReadWholeFile(path_, &text, &error)) {
        quarantine("cannot be read (" + error + ")");
        return;
    }
    std::string why;
    if (!parse(text, &why))
        quarantine(why);
}

bool ConfigStore::parse(const std::string& text, std::string* why) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["failIfExtra"] = true;
    builder["rejectDupKeys"] = true;
    Json::Value root;
    std::string errs;
    // JsonCpp throws instead of failing on some inputs (nesting deeper than
    // its stack limit); a hostile file must not end the program at start-up.
    try {
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        if (!reader->parse(text.data(), text.data() + text.size(), &root, &errs)) {
            *why = "is not valid JSON";
            return false;
        }
    } catch (const std::exception& e) {
        *why = std::string("is not valid JSON (") + e.what() + ")";
        return false;
    }
    if (!root.isObject()) {
        *why = "is not a JSON object";
        return false;
    }
    for (const std::string& key : root.getMemberNames()) {
        const Json::Value& v = root[key];
        if (v.isString()) {
            values_[key] = v.asString();
        } else {
            BG_LOGW("settings key %s is not a text; kept as it is but not used", key.c_str());
            (*foreign_)[key] = v;
        }
    }
    return true;
}

void ConfigStore::quarantine(const std::string& reason) {
    values_.clear();
    *foreign_ = Json::Value(Json::objectValue);
    std::string aside = path_ + ".bad";
    for (int i = 2; platform::FileExists(aside) && i < 1000; ++i) {
        aside = path_ + ".bad." + std::to_string(i);
    }
    if (!platform::FileExists(aside) && platform::RenameFile(path_, aside)) {
        quarantined_ = aside;
        BG_LOGE("settings file %s %s; kept as %s, starting with default settings", path_.c_str(),
                reason.c_str(), aside.c_str());
        return;
    }
    readOnly_ = true;
    BG_LOGE(
        "settings file %s %s and cannot be moved aside; starting with default settings, "
        "which will not be saved",
        path_.c_str(), reason.c_str());
}

std::string ConfigStore::get(const std::string& key, bool* found) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = values_.find(key);
    if (found)
        *found = it != values_.end();
    return it == values_.end() ? std::string() : it->second;
}

bool ConfigStore::serialize(std::string* out) const {
    try {
        Json::Value root = *foreign_;
        for (const auto& kv : values_)
            root[kv.first] = kv.second;
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "  ";
        builder["emitUTF8"] = true;
        *out = Json::writeString(builder, root) + "\n";
        return true;
    } catch (const std::exception& e) {
        BG_LOGE("cannot format settings: %s", e.what());
        return false;
    }
}

bool ConfigStore::set(const std::string& key, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_[key] = text;
    foreign_->removeMember(key);
    if (readOnly_) {
        BG_LOGW("settings key %s not saved: the settings file could not be moved aside",
                key.c_str());
        return false;
    }
    std::string data;
    if (!serialize(&data))
        return false;
    platform::MakeDirs(platform::DirName(path_));
    std::string error;
    if (!platform::WriteFileAtomic(path_, data, &error)) {
        BG_LOGE("cannot save settings to %s: %s", path_.c_str(), error.c_str());
        return false;
    }
    return true;
}

}  // namespace bg
