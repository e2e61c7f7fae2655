#include "tests/tools/zucam-window/x-display.h"

#include <QString>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/files.h"
#include "platform/paths.h"
#include "tests/support/xvfb.h"

namespace xdisplay {

namespace {

using Clock = std::chrono::steady_clock;

// Every tool call is short; a server that stops answering fails the call.
constexpr int kToolTimeoutMs = 15000;

int Run(const std::vector<std::string>& argv, std::string* out) {
    std::string ignored;
    return platform::RunProcess(argv, kToolTimeoutMs, out ? out : &ignored, &ignored);
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// xdotool names windows in decimal, xwininfo in hexadecimal: one form for both.
std::string Canonical(const std::string& id) {
    return std::to_string(std::strtoul(id.c_str(), nullptr, 0));
}

template <typename Check>
bool Poll(int timeoutMs, Check check) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!check()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// One connection sends the move and the click, in this order, so the press
// lands where the pointer went. (`mousemove --sync` would wait forever for a
// move to the point the pointer is already at: a second click there.)
bool MoveAndClick(int x, int y) {
    return Run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"},
               nullptr) == 0;
}

}  // namespace

std::vector<std::string> VisibleWindows(long pid, const std::string& titleRegex) {
    std::vector<std::string> argv = {"xdotool",       "search", "--all",
                                     "--onlyvisible", "--pid",  std::to_string(pid)};
    if (!titleRegex.empty()) {
        argv.push_back("--name");
        argv.push_back(titleRegex);
    }
    std::string out;
    Run(argv, &out);  // exits 1 when nothing matches
    return Words(out);
}

bool WaitForMainWindow(long pid, int timeoutMs, std::string* window) {
    window->clear();
    return Poll(timeoutMs, [&] {
        long largest = 300L * 200 - 1;
        for (const std::string& id : VisibleWindows(pid, "")) {
            Geometry g;
            if (GetGeometry(id, &g) && static_cast<long>(g.width) * g.height > largest &&
                g.width >= 300 && g.height >= 200) {
                largest = static_cast<long>(g.width) * g.height;
                *window = id;
            }
        }
        return !window->empty();
    });
}

bool WaitForNewWindow(long pid, const std::vector<std::string>& known, int timeoutMs,
                      std::string* window) {
    window->clear();
    return Poll(timeoutMs, [&] {
        for (const std::string& id : VisibleWindows(pid, "")) {
            bool old = false;
            for (const std::string& k : known)
                old = old || k == id;
            if (!old) {
                *window = id;
                return true;
            }
        }
        return false;
    });
}

bool GetGeometry(const std::string& window, Geometry* g) {
    std::string out;
    if (Run({"xdotool", "getwindowgeometry", "--shell", window}, &out) != 0)
        return false;
    int found = 0;
    for (const std::string& line : Words(out)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        int* slot = key == "X"        ? &g->x
                    : key == "Y"      ? &g->y
                    : key == "WIDTH"  ? &g->width
                    : key == "HEIGHT" ? &g->height
                                      : nullptr;
        if (slot) {
            *slot = value;
            ++found;
        }
    }
    return found == 4 && g->width > 0 && g->height > 0;
}

QImage Capture(const std::string& window, const std::string& path) {
    if (Run({"import", "-silent", "-window", window, "png:" + path}, nullptr) != 0)
        return QImage();
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
}

bool Click(const std::string& window, int x, int y) {
    Geometry g;
    if (!GetGeometry(window, &g))
        return false;
    // Raised first: the program's own windows (a tip, a dialog) may have
    // come up over it.
    return Run({"xdotool", "windowraise", window}, nullptr) == 0 && MoveAndClick(g.x + x, g.y + y);
}

std::vector<std::string> StackingOrder() {
    std::string out;
    std::vector<std::string> order;
    if (Run({"xwininfo", "-root", "-children"}, &out) != 0)
        return order;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> words = Words(line);
        if (!words.empty() && words[0].compare(0, 2, "0x") == 0)
            order.push_back(Canonical(words[0]));
    }
    return order;
}

std::string Frame(const std::string& window) {
    std::string current = window;
    // A window manager puts each window into a frame of its own (and may nest
    // it deeper); the root's child holding it is what gets stacked.
    for (int depth = 0; depth < 8; ++depth) {
        std::string out;
        if (Run({"xwininfo", "-tree", "-id", current}, &out) != 0)
            return Canonical(current);
        std::string root;
        std::string parent;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) {
            const std::vector<std::string> words = Words(line);
            if (words.size() >= 4 && words[0] == "Root" && words[1] == "window")
                root = words[3];
            if (words.size() >= 4 && words[0] == "Parent" && words[1] == "window")
                parent = words[3];
        }
        if (parent.empty() || Canonical(parent) == Canonical(root))
            return Canonical(current);
        current = parent;
    }
    return Canonical(current);
}

bool IsAbove(const std::string& upper, const std::string& lower) {
    const std::string u = Frame(upper);
    const std::string l = Frame(lower);
    for (const std::string& id : StackingOrder()) {
        if (id == u)
            return true;
        if (id == l)
            return false;
    }
    return false;
}

PrivateDisplay::~PrivateDisplay() {
    // Later tests of this process meet the display they were given.
    if (!name_.empty()) {
        if (hadDisplay_)
            setenv("DISPLAY", previousDisplay_.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }
    if (wm_.running()) {
        wm_.signal(false);
        wm_.wait(10000);
    }
    if (server_.running()) {
        server_.signal(false);
        server_.wait(10000);
    }
}

bool PrivateDisplay::Start(const std::string& dir, int timeoutMs) {
    if (!zutest::StartXvfb(&server_, dir, false, timeoutMs, &name_)) {
        name_.clear();
        return false;
    }
    const char* before = std::getenv("DISPLAY");
    hadDisplay_ = before != nullptr;
    previousDisplay_ = before ? before : "";
    setenv("DISPLAY", name_.c_str(), 1);
    platform::ChildProcess::Options w;
    w.argv = {"openbox", "--sm-disable"};
    w.stdoutPath = dir + "/openbox.log";
    w.stderrPath = dir + "/openbox.err";
    if (!wm_.start(w))
        return false;
    return Poll(timeoutMs, [&] {
        std::string out;
        return Run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, &out) == 0 &&
               out.find("window id") != std::string::npos;
    });
}

std::vector<std::string> WindowState(const std::string& window) {
    std::string out;
    Run({"xprop", "-id", window, "_NET_WM_STATE"}, &out);
    std::vector<std::string> states;
    for (std::string word : Words(out)) {
        if (!word.empty() && word.back() == ',')
            word.pop_back();
        if (word.compare(0, 14, "_NET_WM_STATE_") == 0)
            states.push_back(word.substr(14));
    }
    return states;
}

std::string Title(const std::string& window) {
    std::string out;
    Run({"xdotool", "getwindowname", window}, &out);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

bool ClickHere(const std::string& window, int x, int y) {
    Geometry g;
    return GetGeometry(window, &g) && MoveAndClick(g.x + x, g.y + y);
}

bool Cover::Show(const Geometry& area, int timeoutMs) {
    // xlogo names no process id on its window: a resource name of its own
    // tells it from every other client.
    const std::string name = "zucam-cover-" + std::to_string(platform::CurrentProcessId());
    platform::ChildProcess::Options o;
    o.argv = {"xlogo", "-name", name, "-geometry",
              std::to_string(area.width) + "x" + std::to_string(area.height) + "+" +
                  std::to_string(area.x) + "+" + std::to_string(area.y)};
    o.stdoutPath = "/dev/null";
    o.stderrPath = "/dev/null";
    if (!client_.start(o))
        return false;
    return Poll(timeoutMs, [&] {
        std::string out;
        Run({"xdotool", "search", "--all", "--onlyvisible", "--classname", "^" + name + "$"}, &out);
        std::vector<std::string> found = Words(out);
        window_ = found.size() == 1 ? found[0] : std::string();
        return !window_.empty();
    });
}

}  // namespace xdisplay
