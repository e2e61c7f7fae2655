#include "hublet/app-info.h"

namespace bg {

void AppInfo::setName(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    name_ = name;
}

void AppInfo::setVersion(const std::string& version) {
    std::lock_guard<std::mutex> lock(mutex_);
    version_ = version;
}

void AppInfo::setDate(const std::string& date) {
    std::lock_guard<std::mutex> lock(mutex_);
    date_ = date;
}

void AppInfo::setWebSite(const std::string& site) {
    std::lock_guard<std::mutex> lock(mutex_);
    webSite_ = site;
}

std::string AppInfo::name() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return name_;
}

std::string AppInfo::version() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return version_;
}

std::string AppInfo::date() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return date_;
}

std::string AppInfo::webSite() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return webSite_;
}

}  // namespace bg
