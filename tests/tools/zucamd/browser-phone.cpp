#include "tests/tools/zucamd/browser-phone.h"

#include "platform/files.h"
#include "tests/tools/zucamd/e2e-support.h"

namespace e2e {

namespace {

constexpr const char* kChromium = "/usr/bin/chromium";

}  // namespace

bool BrowserInstalled() {
    return platform::FileExists(kChromium);
}

bool StartBrowser(platform::ChildProcess* browser, const zutest::TempDir& dir,
                  const std::string& tag, const std::string& url,
                  const std::vector<std::string>& extraFlags) {
    std::vector<std::string> argv = {
        kChromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
        "--disable-component-update", "--disable-sync", "--no-first-run",
        "--disable-crash-reporter", "--use-fake-device-for-media-stream",
        "--use-fake-ui-for-media-stream", "--ignore-certificate-errors",
        "--autoplay-policy=no-user-gesture-required",
        "--user-data-dir=" + dir.file(tag + "-profile"),
        // Keeps it running with the page open.
        "--remote-debugging-port=0"};
    argv.insert(argv.end(), extraFlags.begin(), extraFlags.end());
    argv.push_back(url);
    return Start(browser, dir, tag, argv, {{"HOME", dir.file(tag + "-home")}});
}

std::string LinkSecret(const std::string& terminal) {
    const std::string mark = "/?k=";
    size_t at = terminal.find(mark);
    if (at == std::string::npos)
        return {};
    size_t end = terminal.find_first_of("\n& ", at);
    return terminal.substr(at + mark.size(), end - at - mark.size());
}

}  // namespace e2e
