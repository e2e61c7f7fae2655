#include "zup2p/enet-library.h"

#include <enet/enet.h>

#include <mutex>

namespace zu {

namespace {

std::mutex g_mutex;
int g_users = 0;

}  // namespace

EnetLibrary::EnetLibrary() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_users == 0 && enet_initialize() != 0)
        return;
    ++g_users;
    ready_ = true;
}

EnetLibrary::~EnetLibrary() {
    if (!ready_)
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (--g_users == 0)
        enet_deinitialize();
}

}  // namespace zu
