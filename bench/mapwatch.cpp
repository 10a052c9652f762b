// SPDX-License-Identifier: GPL-3.0-or-later
// Starts a program and reports how long it took until its splash window and its main window were
// mapped, and the program's peak memory. It listens for the X server's map events instead of
// polling, so the times are exact to the event's delivery, and it costs the measured program no
// CPU while it waits. For an X server without a window manager (Xvfb), where top-level windows are
// children of the root window and keep the size their program gave them.
//
//   velmora_mapwatch [--timeout MS] [--linger MS] COMMAND [ARG...]
//
// Which window is which does not depend on titles (a splash may carry the program's name too):
//   splash       the first top-level window whose _NET_WM_WINDOW_TYPE includes
//                _NET_WM_WINDOW_TYPE_SPLASH (what Qt sets for Qt::SplashScreen);
//   main window  the first top-level window mapped that is not a splash, not override-redirect (a
//                menu or a tooltip), and wider than kMainMinWidth pixels. A window mapped
//                narrower that later grows past it counts from that resize.
//
// Prints one line, "SPLASH_MS MAIN_MS MAXRSS_KIB": milliseconds from starting the process to
// each map event ("-" for a splash never seen before the main window), and the program's maximum
// resident set size. The program is ended with SIGTERM `--linger` ms (default 500) after its main
// window mapped, so the peak includes its first paint. Exit status 1 when no main window came up.
// With VELMORA_MAPWATCH_VERBOSE set, every mapped window is listed on stderr.

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

// Both programs' splashes are 485 pixels wide and their main windows about 794.
constexpr int kMainMinWidth = 600;

double nowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string windowName(Display* dpy, Window w) {
    // Qt sets the UTF-8 name; fall back to the old Latin-1 one.
    const Atom netWmName = XInternAtom(dpy, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, netWmName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        std::string name(reinterpret_cast<char*>(data), count);
        XFree(data);
        if (type == utf8) return name;
    }
    char* latin = nullptr;
    std::string name;
    if (XFetchName(dpy, w, &latin) && latin) {
        name = latin;
        XFree(latin);
    }
    return name;
}

bool isSplash(Display* dpy, Window w) {
    const Atom typeAtom = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
    const Atom splash = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_SPLASH", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(dpy, w, typeAtom, 0, 32, False, XA_ATOM, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long k = 0; k < count; ++k) found = found || atoms[k] == splash;
        XFree(data);
    }
    return found;
}

// A window vanishing between its map event and the queries about it is no error here.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

struct Mapped {
    double at;  // when it was mapped
    int width;
    bool overrideRedirect;
};

// The options before COMMAND; returns where COMMAND starts (argc when it is missing).
int readOptions(int argc, char** argv, int& timeoutMs, int& lingerMs) {
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (i + 1 < argc && std::strcmp(argv[i], "--timeout") == 0)
            timeoutMs = std::atoi(argv[++i]);
        else if (i + 1 < argc && std::strcmp(argv[i], "--linger") == 0)
            lingerMs = std::atoi(argv[++i]);
        else
            break;
    }
    return i;
}

// One program started and its top-level windows watched as they are mapped.
class MapWatch {
  public:
    // Listens on the root window, before the program starts.
    explicit MapWatch(Display* dpy)
        : dpy_(dpy),
          root_(DefaultRootWindow(dpy)),
          windowType_(XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False)),
          verbose_(std::getenv("VELMORA_MAPWATCH_VERBOSE") != nullptr),
          pfd_{ConnectionNumber(dpy), POLLIN, 0} {
        XSelectInput(dpy_, root_, SubstructureNotifyMask);
        XSync(dpy_, False);
    }
    // Starts `command`; false when no process could be made.
    bool start(char** command);
    // Reads events until the main window mapped or `timeoutMs` passed; false when the program
    // ended before.
    bool waitForMainWindow(int timeoutMs);
    void linger(int lingerMs);
    // Ends the program; its maximum resident set size in KiB.
    long end();
    double splashMs() const { return splashMs_; }
    double mainMs() const { return mainMs_; }

  private:
    void consider(Window w, const Mapped& m, double at, const char* why);
    void handle(const XEvent& ev, double at);

    Display* dpy_;
    Window root_;
    Atom windowType_;
    bool verbose_;
    pollfd pfd_;
    double t0_ = 0;
    pid_t child_ = -1;
    std::map<Window, Mapped> mapped_;  // top-level windows mapped now
    double splashMs_ = -1;
    double mainMs_ = -1;
};

bool MapWatch::start(char** command) {
    t0_ = nowMs();
    child_ = fork();
    if (child_ < 0) return false;
    if (child_ == 0) {
        execvp(command[0], command);
        std::perror(command[0]);
        _exit(127);
    }
    return true;
}

// Judges a mapped window as it is now; `at` is when it became what it is judged as.
void MapWatch::consider(Window w, const Mapped& m, double at, const char* why) {
    const bool splash = isSplash(dpy_, w);
    if (verbose_)
        std::fprintf(stderr, "%9.2f ms: %s window 0x%lx %dpx wide \"%s\"%s%s\n", at - t0_, why, w,
                     m.width, windowName(dpy_, w).c_str(), splash ? " (splash)" : "",
                     m.overrideRedirect ? " (override-redirect)" : "");
    if (splash) {
        if (splashMs_ < 0) splashMs_ = m.at - t0_;
    } else if (!m.overrideRedirect && m.width > kMainMinWidth && mainMs_ < 0) {
        mainMs_ = at - t0_;
    }
}

void MapWatch::handle(const XEvent& ev, double at) {
    if (ev.type == MapNotify && ev.xmap.event == root_) {
        const Window w = ev.xmap.window;
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(dpy_, w, &attributes)) return;  // already gone
        // The window type may come after the map: watch the window's properties too.
        XSelectInput(dpy_, w, PropertyChangeMask);
        const Mapped m{at, attributes.width, ev.xmap.override_redirect != 0};
        mapped_[w] = m;
        consider(w, m, at, "mapped");
    } else if (ev.type == ConfigureNotify && ev.xconfigure.event == root_) {
        const auto found = mapped_.find(ev.xconfigure.window);
        if (found != mapped_.end() && found->second.width != ev.xconfigure.width) {
            found->second.width = ev.xconfigure.width;
            consider(found->first, found->second, at, "resized");
        }
    } else if (ev.type == PropertyNotify && ev.xproperty.atom == windowType_) {
        const auto found = mapped_.find(ev.xproperty.window);
        if (found != mapped_.end()) consider(found->first, found->second, at, "retyped");
    } else if (ev.type == UnmapNotify && ev.xunmap.event == root_) {
        mapped_.erase(ev.xunmap.window);
    }
}

bool MapWatch::waitForMainWindow(int timeoutMs) {
    while (mainMs_ < 0 && nowMs() - t0_ < timeoutMs) {
        if (!XPending(dpy_)) {
            int status = 0;
            if (waitpid(child_, &status, WNOHANG) == child_) return false;
            poll(&pfd_, 1, 50);
            continue;
        }
        XEvent ev;
        XNextEvent(dpy_, &ev);
        handle(ev, nowMs());
    }
    return true;
}

// While lingering, events are still read (or the socket would wake us at once), and listed in
// verbose mode, to see what else the program maps.
void MapWatch::linger(int lingerMs) {
    const double lingerEnd = nowMs() + (mainMs_ >= 0 ? lingerMs : 0);
    while (nowMs() < lingerEnd) {
        while (XPending(dpy_)) {
            XEvent ev;
            XNextEvent(dpy_, &ev);
            if (verbose_ && ev.type == MapNotify && ev.xmap.event == root_) {
                const std::string name = windowName(dpy_, ev.xmap.window);
                std::fprintf(stderr, "%9.2f ms: window 0x%lx \"%s\" (after the main window)\n",
                             nowMs() - t0_, ev.xmap.window, name.c_str());
            }
        }
        poll(&pfd_, 1, std::max(1, static_cast<int>(lingerEnd - nowMs())));
    }
}

long MapWatch::end() {
    kill(child_, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child_, &status, 0, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    int timeoutMs = 30000;
    int lingerMs = 500;
    const int i = readOptions(argc, argv, timeoutMs, lingerMs);
    if (argc - i < 1) {
        std::fprintf(stderr,
                     "usage: velmora_mapwatch [--timeout MS] [--linger MS] COMMAND [ARG...]\n");
        return 2;
    }
    char** command = argv + i;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "velmora_mapwatch: cannot open display\n");
        return 2;
    }
    XSetErrorHandler(ignoreErrors);
    MapWatch watch(dpy);
    if (!watch.start(command)) return 2;
    if (!watch.waitForMainWindow(timeoutMs)) {
        std::fprintf(stderr, "velmora_mapwatch: %s ended before its main window mapped\n",
                     command[0]);
        return 1;
    }
    watch.linger(lingerMs);
    const long maxRss = watch.end();
    XCloseDisplay(dpy);
    if (watch.mainMs() < 0) {
        std::fprintf(stderr,
                     "velmora_mapwatch: no main window (not a splash, wider than %d px) within "
                     "%d ms\n",
                     kMainMinWidth, timeoutMs);
        return 1;
    }
    if (watch.splashMs() < 0)
        std::printf("- %.2f %ld\n", watch.mainMs(), maxRss);
    else
        std::printf("%.2f %.2f %ld\n", watch.splashMs(), watch.mainMs(), maxRss);
    return 0;
}
