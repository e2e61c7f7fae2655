#include "hublet/signal-bus.h"

#include <vector>

namespace bg {

int SignalBus::connect(const std::string& name, Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    int id = nextId_++;
    handlers_[id] = Entry{name, std::move(handler)};
    return id;
}

void SignalBus::disconnect(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_.erase(id);
}

int SignalBus::emit(const std::string& name, const Value& value) {
    std::vector<Handler> targets;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& kv : handlers_) {
            if (kv.second.name == name && kv.second.handler)
                targets.push_back(kv.second.handler);
        }
    }
    for (const Handler& h : targets)
        h(value);
    return static_cast<int>(targets.size());
}

}  // namespace bg
