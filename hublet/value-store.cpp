#include "hublet/value-store.h"

namespace bg {

Value ValueStore::get(const std::string& name, const Value& def) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = values_.find(name);
    return it == values_.end() ? def : it->second;
}

void ValueStore::set(const std::string& name, const Value& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_[name] = value;
}

}  // namespace bg
