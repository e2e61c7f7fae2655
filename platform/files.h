#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Reads a whole file. False (with a reason in *error when given) when it
// cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string* out, std::string* error = nullptr);

// Replaces `path` with `data` so that a crash at any moment leaves either the
// old or the new content: write a temporary file beside it, fsync it, rename it
// over the target, then fsync the directory.
bool WriteFileAtomic(const std::string& path, const std::string& data,
                     std::string* error = nullptr);

// Writes `data` to `path`, creating or truncating it; returns the bytes written
// (-1 when the file cannot be opened).
long long WriteWholeFile(const std::string& path, const std::string& data);

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Size in bytes, -1 when the file cannot be examined.
long long FileSize(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);

}  // namespace platform
