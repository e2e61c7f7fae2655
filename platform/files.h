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

// Creates `path` afresh for writing and returns its descriptor (-1 on failure,
// with the reason in *error when given). Whatever entry holds the name is
// removed first (a file from before, a link someone planted in a shared
// folder), then the file is made exclusively and without following a link: the
// bytes can only ever land in a new file of our own, never in the file a
// planted link names. A directory under the name is left alone (failure).
int CreateFreshFile(const std::string& path, std::string* error = nullptr);
// CreateFreshFile, then `data` written whole and the descriptor closed. A file
// that cannot be written whole is removed again.
bool WriteFreshFile(const std::string& path, const std::string& data, std::string* error = nullptr);
// A path that opens the very file behind `descriptor` again, whatever happens
// to its name meanwhile: for libraries that insist on opening files by name.
std::string DescriptorPath(int descriptor);
void CloseDescriptor(int descriptor);

bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Size in bytes, -1 when the file cannot be examined.
long long FileSize(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);

}  // namespace platform
