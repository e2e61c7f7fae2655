#pragma once

#include <mutex>
#include <string>

namespace bg {

// The application's identity as given to the host at start-up.
class AppInfo {
public:
    void setName(const std::string& name);
    void setVersion(const std::string& version);
    void setDate(const std::string& date);
    void setWebSite(const std::string& site);

    std::string name() const;
    std::string version() const;
    std::string date() const;
    std::string webSite() const;

private:
    mutable std::mutex mutex_;
    std::string name_;
    std::string version_;
    std::string date_;
    std::string webSite_;
};

}  // namespace bg
