#pragma once

#include <map>
#include <mutex>
#include <string>

namespace bg {

// Key → text settings persisted as one JSON object. Every set() is durable:
// the file is replaced atomically, so a crash at any moment leaves either the
// previous or the new settings on disk, never a broken file.
class ConfigStore {
public:
    // Loads `path`. A file that cannot be read or parsed is moved aside to
    // "<path>.bad" (or "<path>.bad.N" when that exists) and the store starts
    // empty; the reason is logged.
    explicit ConfigStore(const std::string& path);

    // The stored text; *found tells whether the key exists.
    std::string get(const std::string& key, bool* found) const;
    // Stores the text and writes the file; false when the file could not be
    // written (the value is still kept for this run).
    bool set(const std::string& key, const std::string& text);

    const std::string& path() const { return path_; }
    // Where a corrupt file was kept, empty when none was found at start.
    const std::string& quarantinedPath() const { return quarantined_; }

private:
    void load();
    void quarantine(const std::string& reason);
    std::string serialize() const;

    mutable std::mutex mutex_;
    std::string path_;
    std::string quarantined_;
    std::map<std::string, std::string> values_;
};

}  // namespace bg
