#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace Json {
class Value;
}

namespace bg {

// Key → text settings persisted as one JSON object. Every set() is durable:
// the file is replaced atomically, so a crash at any moment leaves either the
// previous or the new settings on disk, never a broken file.
class ConfigStore {
public:
    // A settings file larger than this is not one we wrote: it is treated as
    // corrupt rather than read into memory.
    static constexpr long long kMaxFileBytes = 16LL * 1024 * 1024;

    // Loads `path`. A file that cannot be read or parsed is moved aside to
    // "<path>.bad" (or "<path>.bad.N" when that exists) and the store starts
    // empty; the reason is logged. When it cannot be moved aside, the store
    // refuses to write, so the only copy of the user's settings is never
    // overwritten.
    explicit ConfigStore(const std::string& path);
    ~ConfigStore();
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    // The stored text; *found tells whether the key exists.
    std::string get(const std::string& key, bool* found) const;
    // Stores the text and writes the file; false when the file could not be
    // written (the value is still kept for this run).
    bool set(const std::string& key, const std::string& text);

    const std::string& path() const { return path_; }
    // Where a corrupt file was kept, empty when none was found at start.
    const std::string& quarantinedPath() const { return quarantined_; }
    // True when a corrupt file could not be moved aside: nothing is written.
    bool readOnly() const { return readOnly_; }

private:
    void load();
    bool parse(const std::string& text, std::string* why);
    void quarantine(const std::string& reason);
    bool serialize(std::string* out) const;

    mutable std::mutex mutex_;
    std::string path_;
    std::string quarantined_;
    bool readOnly_ = false;
    std::map<std::string, std::string> values_;
    // Members that are not texts (a hand-edited file, a newer version): kept
    // as they were and written back, so saving never drops them.
    std::unique_ptr<Json::Value> foreign_;
};

}  // namespace bg
