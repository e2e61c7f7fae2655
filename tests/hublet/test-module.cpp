// An optional module as the host loads it: one exported entry that gets the
// host's interface and answers 0 when it is ready.
#include "hublet/interface.h"
#include "hublet/value-store.h"

extern "C" __attribute__((visibility("default"))) int bg_module_init(bg::Interface* host) {
    if (!host || !host->valueStore)
        return -1;
#ifdef ZUCAM_TEST_MODULE_FAILS
    host->valueStore->set("test_module.bad_init_ran", bg::Value(true));
    return -1;
#else
    host->valueStore->set("test_module.loaded", bg::Value(true));
    return 0;
#endif
}
