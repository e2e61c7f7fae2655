#pragma once

#include <map>
#include <mutex>
#include <string>

#include "hublet/value.h"

namespace bg {

// Named values shared between the program's parts and threads.
class ValueStore {
public:
    Value get(const std::string& name, const Value& def = Value()) const;
    void set(const std::string& name, const Value& value);

private:
    mutable std::mutex mutex_;
    std::map<std::string, Value> values_;
};

}  // namespace bg
