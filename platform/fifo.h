#pragma once

#include <cstddef>
#include <string>

namespace platform {

// What is found at a path that should be a FIFO.
enum class FifoPathState {
    kMissing,  // nothing there
    kFifo,     // a FIFO
    kOther,    // a file, directory or anything else that is not a FIFO
};

FifoPathState GetFifoPathState(const std::string& path);

// Creates a FIFO (mode 0600). False when anything already exists at `path`.
bool MakeFifo(const std::string& path, std::string* error = nullptr);

// True when `path` is a directory owned by the effective user that nobody
// else may write to. A FIFO others can reach would let them feed or steal
// the microphone's audio.
bool IsPrivateDirectory(const std::string& path);

// The write end of a FIFO whose reader is another process. Nothing blocks:
// opening fails while no reader has the FIFO open, and a full FIFO refuses a
// write instead of waiting.
class FifoWriter {
public:
    // Writes up to this size land whole or not at all (PIPE_BUF).
    static constexpr size_t kAtomicWriteBytes = 4096;

    enum class OpenResult { kOpened, kNoReader, kFailed };
    enum class WriteResult {
        kWritten,   // every byte is in the FIFO
        kFull,      // no room: nothing was written
        kNoReader,  // the reader has gone away: nothing was written
        kFailed,    // any other error, or a block over kAtomicWriteBytes
    };

    FifoWriter() = default;
    ~FifoWriter();
    FifoWriter(const FifoWriter&) = delete;
    FifoWriter& operator=(const FifoWriter&) = delete;

    // Opens `path` for writing without blocking; an open writer is closed
    // first. Something that is not a FIFO is refused (kFailed).
    OpenResult open(const std::string& path, std::string* error = nullptr);
    // Writes one block of at most kAtomicWriteBytes. Never blocks and never
    // raises SIGPIPE, whatever the process does with that signal.
    WriteResult write(const void* data, size_t size);
    // Asks the kernel for a FIFO capacity of at least `bytes` (rounded up to
    // whole pages). False when refused; the FIFO keeps its capacity then.
    bool setCapacity(size_t bytes);
    // The FIFO's capacity in bytes, -1 when not open.
    long capacity() const;
    void close();
    bool isOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The read end of a FIFO, for tools and tests that stand in for the audio
// server. Opening never waits for a writer.
class FifoReader {
public:
    FifoReader() = default;
    ~FifoReader();
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;

    bool open(const std::string& path, std::string* error = nullptr);
    // Waits at most timeoutMs for data and reads what is there, up to `size`
    // bytes. Returns the byte count, 0 on time-out or when no writer is
    // connected, -1 on error or when not open.
    long read(void* data, size_t size, int timeoutMs);
    void close();
    bool isOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace platform
