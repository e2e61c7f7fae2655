#pragma once

#include <string>
#include <vector>

#include "platform/child-process.h"
#include "tests/support/temp-dir.h"

namespace e2e {

// Debian's Chromium, headless, as a phone's browser: fake camera and
// microphone allowed without asking, the page's self-signed certificate
// accepted, its own fresh profile under `dir`, nothing sent anywhere.
// `extraFlags` come before the URL. Output goes to <tag>.out / <tag>.err.
bool StartBrowser(platform::ChildProcess* browser, const zutest::TempDir& dir,
                  const std::string& tag, const std::string& url,
                  const std::vector<std::string>& extraFlags = {});
bool BrowserInstalled();

// The secret of the phone page's link in zucamd's terminal output; empty
// when none is shown.
std::string LinkSecret(const std::string& terminal);

}  // namespace e2e
