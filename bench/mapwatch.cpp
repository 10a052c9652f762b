// Starts a program and reports how long it took until its window with a given title was mapped,
// and the program's peak memory. Splash windows do not count, even with that title. It listens for
// the X server's map events instead of polling, so the time is exact to the event's delivery, and
// it costs the measured program no CPU while it waits. For an X server without a window manager
// (Xvfb), where top-level windows are children of the root window.
//
//   velmora_mapwatch [--timeout MS] [--linger MS] TITLE COMMAND [ARG...]
//
// Prints one line, "MAP_MS MAXRSS_KIB": milliseconds from starting the process to the map event,
// and its maximum resident set size. The program is ended with SIGTERM `--linger` ms (default
// 500) after its window mapped, so the peak includes its first paint. Exit status 1 when the
// window never came up. With VELMORA_MAPWATCH_VERBOSE set, every mapped window is listed on
// stderr with its time and title.

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

// True for a window that calls itself a splash screen: never the main window, whatever its title.
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

// A window vanishing between its map event and the name query is no error here.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int timeoutMs = 30000;
    int lingerMs = 500;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (i + 1 < argc && std::strcmp(argv[i], "--timeout") == 0)
            timeoutMs = std::atoi(argv[++i]);
        else if (i + 1 < argc && std::strcmp(argv[i], "--linger") == 0)
            lingerMs = std::atoi(argv[++i]);
        else
            break;
    }
    if (argc - i < 2) {
        std::fprintf(
            stderr,
            "usage: velmora_mapwatch [--timeout MS] [--linger MS] TITLE COMMAND [ARG...]\n");
        return 2;
    }
    const std::string title = argv[i];
    char** command = argv + i + 1;

    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "velmora_mapwatch: cannot open display\n");
        return 2;
    }
    XSetErrorHandler(ignoreErrors);
    const Window root = DefaultRootWindow(dpy);
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);  // listening before the program starts

    const double t0 = nowMs();
    const pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) {
        execvp(command[0], command);
        std::perror(command[0]);
        _exit(127);
    }

    std::map<Window, double> mappedAt;  // windows mapped without the title (yet)
    double mapMs = -1;
    const bool verbose = std::getenv("VELMORA_MAPWATCH_VERBOSE") != nullptr;
    const auto consider = [&](Window w, double at) {
        const std::string name = windowName(dpy, w);
        const bool splash = isSplash(dpy, w);
        if (verbose)
            std::fprintf(stderr, "%9.2f ms: window 0x%lx \"%s\"%s\n", at - t0, w, name.c_str(),
                         splash ? " (splash)" : "");
        if (name == title && !splash) mapMs = at - t0;
    };
    pollfd pfd{ConnectionNumber(dpy), POLLIN, 0};
    while (mapMs < 0 && nowMs() - t0 < timeoutMs) {
        if (!XPending(dpy)) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                std::fprintf(stderr, "velmora_mapwatch: %s ended before its window mapped\n",
                             command[0]);
                return 1;
            }
            poll(&pfd, 1, 50);
            continue;
        }
        XEvent ev;
        XNextEvent(dpy, &ev);
        const double at = nowMs();
        if (ev.type == MapNotify && ev.xmap.event == root) {
            const Window w = ev.xmap.window;
            // The title may come after the map: watch the window's properties too.
            XSelectInput(dpy, w, PropertyChangeMask);
            mappedAt[w] = at;
            consider(w, at);
        } else if (ev.type == PropertyNotify && mappedAt.count(ev.xproperty.window)) {
            consider(ev.xproperty.window, mappedAt[ev.xproperty.window]);
        } else if (ev.type == UnmapNotify && ev.xunmap.event == root) {
            mappedAt.erase(ev.xunmap.window);
        }
    }

    // While lingering, events are still read (or the socket would wake us at once), and listed in
    // verbose mode, to see what else the program maps.
    const double lingerEnd = nowMs() + (mapMs >= 0 ? lingerMs : 0);
    while (nowMs() < lingerEnd) {
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (verbose && ev.type == MapNotify && ev.xmap.event == root) {
                const std::string name = windowName(dpy, ev.xmap.window);
                std::fprintf(stderr, "%9.2f ms: window 0x%lx \"%s\" (after the match)\n",
                             nowMs() - t0, ev.xmap.window, name.c_str());
            }
        }
        poll(&pfd, 1, std::max(1, static_cast<int>(lingerEnd - nowMs())));
    }
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    XCloseDisplay(dpy);
    if (mapMs < 0) {
        std::fprintf(stderr, "velmora_mapwatch: no window titled \"%s\" within %d ms\n",
                     title.c_str(), timeoutMs);
        return 1;
    }
    std::printf("%.2f %ld\n", mapMs, usage.ru_maxrss);
    return 0;
}
