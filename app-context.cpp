#include "app-context.h"

namespace {
AppContext* g_context = nullptr;
}

AppContext* AppContext::instance() {
    return g_context;
}

void AppContext::setInstance(AppContext* context) {
    g_context = context;
}
