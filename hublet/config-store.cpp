#include "hublet/config-store.h"

#include <json/json.h>

#include <memory>
#include <sstream>

#include "hublet/log-sink.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace bg {

ConfigStore::ConfigStore(const std::string& path) : path_(path) { load(); }

void ConfigStore::load() {
    if (!platform::FileExists(path_)) return;
    std::string text;
    std::string error;
    if (!platform::ReadWholeFile(path_, &text, &error)) {
        quarantine("cannot be read (" + error + ")");
        return;
    }
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["failIfExtra"] = true;
    builder["rejectDupKeys"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errs;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errs)) {
        quarantine("is not valid JSON");
        return;
    }
    if (!root.isObject()) {
        quarantine("is not a JSON object");
        return;
    }
    for (const std::string& key : root.getMemberNames()) {
        const Json::Value& v = root[key];
        if (!v.isString()) {
            BG_LOGW("settings key %s is not a text, ignored", key.c_str());
            continue;
        }
        values_[key] = v.asString();
    }
}

void ConfigStore::quarantine(const std::string& reason) {
    std::string aside = path_ + ".bad";
    for (int i = 2; platform::FileExists(aside) && i < 1000; ++i) {
        aside = path_ + ".bad." + std::to_string(i);
    }
    if (platform::RenameFile(path_, aside)) {
        quarantined_ = aside;
        BG_LOGE("settings file %s %s; kept as %s, starting with default settings", path_.c_str(),
                reason.c_str(), aside.c_str());
    } else {
        BG_LOGE("settings file %s %s and cannot be moved aside; starting with default settings",
                path_.c_str(), reason.c_str());
    }
    values_.clear();
}

std::string ConfigStore::get(const std::string& key, bool* found) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = values_.find(key);
    if (found) *found = it != values_.end();
    return it == values_.end() ? std::string() : it->second;
}

std::string ConfigStore::serialize() const {
    Json::Value root(Json::objectValue);
    for (const auto& kv : values_) root[kv.first] = kv.second;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, root) + "\n";
}

bool ConfigStore::set(const std::string& key, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_[key] = text;
    platform::MakeDirs(platform::DirName(path_));
    std::string error;
    if (!platform::WriteFileAtomic(path_, serialize(), &error)) {
        BG_LOGE("cannot save settings to %s: %s", path_.c_str(), error.c_str());
        return false;
    }
    return true;
}

}  // namespace bg
