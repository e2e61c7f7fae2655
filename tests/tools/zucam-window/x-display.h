#pragma once

#include <QImage>
#include <string>
#include <vector>

#include "platform/child-process.h"

// The X server in DISPLAY seen from outside, as a person meets ZuCam's
// window: windows found, captured, clicked and stacked through the
// command-line tools (xdotool, xwininfo, ImageMagick's import). Every call
// has a time-out.
namespace xdisplay {

struct Geometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The visible windows of process `pid` whose title matches `titleRegex`
// (xdotool's regular expression); empty when there is none.
std::vector<std::string> VisibleWindows(long pid, const std::string& titleRegex);
// Waits until process `pid` shows a window of at least 300x200, and names
// the largest (tips and the guide bubble are smaller); false after
// timeoutMs. Titles depend on the language, sizes do not.
bool WaitForMainWindow(long pid, int timeoutMs, std::string* window);
// Waits until process `pid` shows a visible window besides `known`; false
// after timeoutMs.
bool WaitForNewWindow(long pid, const std::vector<std::string>& known, int timeoutMs,
                      std::string* window);

bool GetGeometry(const std::string& window, Geometry* geometry);
// The window's pixels as the screen shows them, also kept as the PNG file
// `path` (for a person reading a failure); a null image on failure.
QImage Capture(const std::string& window, const std::string& path);
// Raises the window and clicks the left button at (x, y) in its own
// coordinates.
bool Click(const std::string& window, int x, int y);
// The top-level windows, the one on top first.
std::vector<std::string> StackingOrder();
// The root's child holding `window`: the window itself without a window
// manager, its frame with one.
std::string Frame(const std::string& window);
// True when `upper` is stacked above `lower` among the top-level windows
// (their frames, under a window manager).
bool IsAbove(const std::string& upper, const std::string& lower);

// The window's _NET_WM_STATE as the window manager keeps it, without the
// prefix: "MAXIMIZED_VERT", "ABOVE", "MODAL"...
std::vector<std::string> WindowState(const std::string& window);
// The window's title; empty when it has none or is gone.
std::string Title(const std::string& window);
// Clicks at (x, y) in the window's coordinates without raising it first:
// the click lands on whatever the screen shows there.
bool ClickHere(const std::string& window, int x, int y);

// An X server of the test's own with openbox managing it, as people's
// desktops have a window manager; DISPLAY names it from Start on, until the
// object ends, taking both with it.
class PrivateDisplay {
public:
    ~PrivateDisplay();
    // `dir` keeps the logs; false when either did not start in timeoutMs.
    bool Start(const std::string& dir, int timeoutMs);
    const std::string& name() const { return name_; }

private:
    platform::ChildProcess server_;
    platform::ChildProcess wm_;
    std::string name_;
    std::string previousDisplay_;
    bool hadDisplay_ = false;
};

// A plain X client (xlogo) covering `area`, to see a window raised over it.
class Cover {
public:
    bool Show(const Geometry& area, int timeoutMs);
    const std::string& window() const { return window_; }

private:
    platform::ChildProcess client_;
    std::string window_;
};

}  // namespace xdisplay
