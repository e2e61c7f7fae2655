#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "hublet/value.h"

namespace bg {

// Named signals with any number of handlers. Handlers run on the emitting
// thread, outside the bus's lock, so a handler may connect or emit again.
class SignalBus {
public:
    using Handler = std::function<void(const Value&)>;

    // Returns an id for disconnect().
    int connect(const std::string& name, Handler handler);
    void disconnect(int id);
    // Returns how many handlers ran; none registered is fine.
    int emit(const std::string& name, const Value& value);

private:
    struct Entry {
        std::string name;
        Handler handler;
    };
    std::mutex mutex_;
    int nextId_ = 1;
    std::map<int, Entry> handlers_;
};

}  // namespace bg
