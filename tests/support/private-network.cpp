#include "tests/support/private-network.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/child-process.h"
#include "platform/paths.h"

namespace zutest {

void EnterPrivateNetwork(int argc, char** argv) {
    if (platform::GetEnv("ZUCAM_IN_PRIVATE_NETNS") == "1")
        return;
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
                 "cannot enter a private network namespace (unshare -n needs root or user "
                 "namespaces); this program refuses to run outside one\n");
    std::exit(1);
}

}  // namespace zutest
