#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/child-process.h"
#include "platform/paths.h"
#include "tests/support/isolation.h"

// End-to-end programs start servers that announce themselves on every local
// /24. They re-run themselves inside a private network namespace whose only
// interface is loopback, so nothing ever leaves the machine.
int main(int argc, char** argv) {
    if (platform::GetEnv("ZUCAM_IN_PRIVATE_NETNS") != "1") {
        std::vector<std::string> args = {
            "unshare",
            "-n",
            "--",
            "sh",
            "-c",
            "ip link set lo up && ZUCAM_IN_PRIVATE_NETNS=1 exec \"$0\" \"$@\"",
            platform::ExecutablePath()};
        for (int i = 1; i < argc; ++i)
            args.push_back(argv[i]);
        platform::ExecReplace(args);
        std::fprintf(stderr,
                     "cannot enter a private network namespace (unshare -n needs root "
                     "or user namespaces); end-to-end tests refuse to run outside one\n");
        return 1;
    }
    platform::IgnoreBrokenPipe();
    zutest::IsolateMachineWideNames();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
