#pragma once

namespace platform {

// Brings the process's network stack up for the life of the object. Linux
// needs no start-up call, but a phone that vanishes mid-send must never kill
// the program, so SIGPIPE is ignored process-wide from here on.
class NetworkStartup {
public:
    NetworkStartup();
    ~NetworkStartup();
    NetworkStartup(const NetworkStartup&) = delete;
    NetworkStartup& operator=(const NetworkStartup&) = delete;

    // Whether the start-up succeeded (the clean-up runs only then).
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

}  // namespace platform
