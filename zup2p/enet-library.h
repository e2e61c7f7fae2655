#pragma once

namespace zu {

// Keeps ENet initialised while at least one holder lives. ENet 1.3 does not
// count enet_initialize/enet_deinitialize itself, so hosts created and
// destroyed in any order in one process share one process-wide count.
class EnetLibrary {
public:
    EnetLibrary();
    ~EnetLibrary();
    EnetLibrary(const EnetLibrary&) = delete;
    EnetLibrary& operator=(const EnetLibrary&) = delete;

    bool ready() const { return ready_; }

private:
    bool ready_ = false;
};

}  // namespace zu
