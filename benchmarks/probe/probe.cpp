// The benchmark's stopwatch. It times a program from outside, by what the X
// server and the file system see, so the program under test needs no hooks:
//
//   probe launch --class NAME [--size 22] -- PROGRAM ARGS...
//       starts PROGRAM and times it until its tray icon (a SIZExSIZE window
//       of the program, embedded by the tray host) is mapped and first
//       painted; prints the figures, then stays until PROGRAM ends.
//   probe click --window ID [--at X,Y] --await-title TITLE
//       clicks at X,Y in window ID (default 11,11, the middle of a tray
//       icon) and times until a window titled TITLE is mapped and painted.
//   probe keys --keys alt+s --await-file PATH
//       types a key combination into the focused window and times until
//       PATH appears.
//   probe spawn --await-file PATH -- PROGRAM ARGS...
//       starts PROGRAM and times until PATH appears and until PROGRAM ends;
//       also gives the processor time PROGRAM used.
//
// "Painted" is the first XDamage report on the window once it is mapped:
// the moment the program's pixels reach the screen, not merely the moment
// its window exists, dated by the X server's own clock. "Mapped" is when the
// probe read the map, so it can come out a little later than the paint.
// Every figure goes to stdout as key=value on one line. With QV_PROBE_TRACE
// set, every event it reads and every map and paint it weighs go to stderr.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

double NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

[[noreturn]] void Fail(const std::string &why)
{
    std::fprintf(stderr, "probe: %s\n", why.c_str());
    std::exit(2);
}

struct Arguments {
    std::string command;
    std::map<std::string, std::string> options;
    std::vector<char *> program; // after "--", null-terminated for exec

    std::string get(const std::string &name, const std::string &fallback = {}) const
    {
        auto it = options.find(name);
        return it == options.end() ? fallback : it->second;
    }
    std::string need(const std::string &name) const
    {
        auto it = options.find(name);
        if (it == options.end())
            Fail("missing --" + name);
        return it->second;
    }
};

Arguments Parse(int argc, char **argv)
{
    if (argc < 2)
        Fail("usage: probe launch|click|keys|spawn [--option value]... [-- program args...]");
    Arguments args;
    args.command = argv[1];
    int i = 2;
    for (; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--") {
            ++i;
            break;
        }
        if (word.rfind("--", 0) != 0 || i + 1 >= argc)
            Fail("bad argument: " + word);
        args.options[word.substr(2)] = argv[++i];
    }
    for (; i < argc; ++i)
        args.program.push_back(argv[i]);
    args.program.push_back(nullptr);
    return args;
}

// Processor time the process has had so far, all its threads together, in
// milliseconds (the scheduler's own nanosecond count, not clock ticks).
double CpuMs(pid_t pid)
{
    double total = 0;
    const std::string folder = "/proc/" + std::to_string(pid) + "/task";
    if (DIR *dir = opendir(folder.c_str())) {
        while (dirent *entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream stat(folder + "/" + entry->d_name + "/schedstat");
            unsigned long long ns = 0;
            if (stat >> ns)
                total += ns / 1e6;
        }
        closedir(dir);
    }
    return total;
}

pid_t Start(std::vector<char *> &program)
{
    if (program.size() < 2)
        Fail("no program given after --");
    const pid_t pid = fork();
    if (pid < 0)
        Fail("fork failed");
    if (pid == 0) {
        execvp(program[0], program.data());
        std::fprintf(stderr, "probe: cannot run %s: %s\n", program[0], std::strerror(errno));
        _exit(127);
    }
    return pid;
}

// Waits for a file to appear, by inotify on its folder, so the moment is
// caught without polling.
class FileWatch {
public:
    explicit FileWatch(const std::string &path)
    {
        const auto slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
        m_name = slash == std::string::npos ? path : path.substr(slash + 1);
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0 || inotify_add_watch(m_fd, folder.c_str(), IN_CREATE | IN_MOVED_TO) < 0)
            Fail("cannot watch " + folder);
        if (access(path.c_str(), F_OK) == 0)
            Fail(path + " exists already");
    }
    ~FileWatch() { close(m_fd); }

    // True when the file appeared before the deadline.
    bool wait(double deadlineMs)
    {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const double left = deadlineMs - NowMs();
            if (left <= 0)
                return false;
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left) + 1) <= 0)
                continue;
            const ssize_t got = read(m_fd, buffer, sizeof buffer);
            for (ssize_t at = 0; at < got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->len > 0 && m_name == event->name)
                    return true;
                at += sizeof(inotify_event) + event->len;
            }
        }
    }

private:
    int m_fd = -1;
    std::string m_name;
};

int IgnoreXErrors(Display *, XErrorEvent *)
{
    return 0; // windows come and go while we look at them
}

// One connection to the X server that follows top-level windows: when each is
// mapped, and when its content is first drawn.
class Screen {
public:
    Screen()
    {
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            Fail("cannot open the X display");
        XSetErrorHandler(IgnoreXErrors);
        int damageError = 0;
        if (!XDamageQueryExtension(m_display, &m_damageEvent, &damageError))
            Fail("the X server has no DAMAGE extension");
        m_root = DefaultRootWindow(m_display);
        XSelectInput(m_display, m_root, SubstructureNotifyMask);
        Window parent = 0, *children = nullptr;
        unsigned count = 0;
        if (XQueryTree(m_display, m_root, &m_root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count; ++i)
                track(children[i], true);
            XFree(children);
        }
        m_clockWindow = XCreateSimpleWindow(m_display, m_root, 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(m_display, m_clockWindow, PropertyChangeMask);
        const double before = NowMs();
        const Time server = serverTime();
        m_serverBase = server;
        m_localBase = (before + NowMs()) / 2;
    }
    ~Screen() { XCloseDisplay(m_display); }

    Display *display() const { return m_display; }
    Window root() const { return m_root; }

    enum Kind { Mapped, Painted, Other };
    struct Happening {
        Kind kind = Other;
        Window window = 0;
        double atMs = 0; // on this process's monotonic clock
    };

    // The next map or paint of a followed window; false at the deadline.
    bool next(Happening &out, double deadlineMs)
    {
        for (;;) {
            if (!m_pending.empty()) {
                out = m_pending.front();
                m_pending.erase(m_pending.begin());
                return true;
            }
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (std::getenv("QV_PROBE_TRACE") && event.type != m_damageEvent + XDamageNotify)
                    std::fprintf(stderr, "probe: event %d window 0x%lx\n", event.type, event.xany.window);
                if (event.type == CreateNotify) {
                    track(event.xcreatewindow.window, false);
                    if (!m_pending.empty())
                        break;
                } else if (event.type == MapNotify) {
                    const Window w = event.xmap.window;
                    if (m_damage.count(w) && !m_mapped.count(w)) {
                        m_mapped.insert(w);
                        out = {Mapped, w, NowMs()};
                        return true;
                    }
                } else if (event.type == UnmapNotify) {
                    m_mapped.erase(event.xunmap.window);
                } else if (event.type == m_damageEvent + XDamageNotify) {
                    const auto *damage = reinterpret_cast<const XDamageNotifyEvent *>(&event);
                    XDamageSubtract(m_display, damage->damage, None, None);
                    if (m_mapped.count(damage->drawable)) {
                        out = {Painted, damage->drawable, localMs(damage->timestamp)};
                        return true;
                    }
                }
            }
            const double left = deadlineMs - NowMs();
            if (left <= 0)
                return false;
            pollfd p{ConnectionNumber(m_display), POLLIN, 0};
            poll(&p, 1, static_cast<int>(left) + 1);
        }
    }

    bool isMapped(Window w) const { return m_mapped.count(w) > 0; }

    bool hasSize(Window w, unsigned size) const
    {
        Window root = 0;
        int x = 0, y = 0;
        unsigned width = 0, height = 0, border = 0, depth = 0;
        return XGetGeometry(m_display, w, &root, &x, &y, &width, &height, &border, &depth) && width == size &&
               height == size;
    }

    long pidOf(Window w) const
    {
        long pid = -1;
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        const Atom atom = XInternAtom(m_display, "_NET_WM_PID", False);
        if (XGetWindowProperty(m_display, w, atom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                               &data) == Success &&
            data) {
            if (format == 32 && items == 1)
                pid = static_cast<long>(*reinterpret_cast<unsigned long *>(data));
            XFree(data);
        }
        return pid;
    }

    std::string classOf(Window w) const
    {
        XClassHint hint{};
        std::string name;
        if (XGetClassHint(m_display, w, &hint)) {
            if (hint.res_name)
                name = hint.res_name;
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        return name;
    }

    std::string titleOf(Window w) const
    {
        std::string title;
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        const Atom atom = XInternAtom(m_display, "_NET_WM_NAME", False);
        const Atom utf8 = XInternAtom(m_display, "UTF8_STRING", False);
        if (XGetWindowProperty(m_display, w, atom, 0, 1024, False, utf8, &type, &format, &items, &after, &data) ==
                Success &&
            data) {
            title.assign(reinterpret_cast<char *>(data), items);
            XFree(data);
            return title;
        }
        char *name = nullptr;
        if (XFetchName(m_display, w, &name) && name) {
            title = name;
            XFree(name);
        }
        return title;
    }

private:
    // A window on screen before the probe looked counts as mapped already. A
    // new one mapped while it was still a child of the root has its
    // MapNotify queued behind its creation: that event is its moment. But a
    // tray host reparents an icon into itself and maps it there, which the
    // root does not report: when that happened before the probe could follow
    // the window, this is the moment it is seen mapped, and the window is
    // asked to draw itself again, since its first paint may have come before
    // the probe's damage watch.
    void track(Window w, bool existing)
    {
        if (m_damage.count(w))
            return;
        XSelectInput(m_display, w, StructureNotifyMask);
        m_damage[w] = XDamageCreate(m_display, w, XDamageReportNonEmpty);
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(m_display, w, &attributes) || attributes.map_state == IsUnmapped)
            return;
        if (existing) {
            if (attributes.map_state == IsViewable)
                m_mapped.insert(w);
            return;
        }
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(m_display, w, &root, &parent, &children, &count))
            return;
        if (children)
            XFree(children);
        if (parent == m_root)
            return; // its MapNotify is on its way
        m_mapped.insert(w);
        m_pending.push_back({Mapped, w, NowMs()});
        XClearArea(m_display, w, 0, 0, 0, 0, True);
        XFlush(m_display);
    }

    // The server's own millisecond clock, read through a property change on
    // a window of ours: paints are dated by the server, so a probe that is
    // busy for a moment still gives the time the paint happened.
    Time serverTime()
    {
        static const unsigned char nothing = 0;
        const Atom atom = XInternAtom(m_display, "QV_PROBE_CLOCK", False);
        XChangeProperty(m_display, m_clockWindow, atom, XA_STRING, 8, PropModeAppend, &nothing, 0);
        XEvent event;
        XWindowEvent(m_display, m_clockWindow, PropertyChangeMask, &event);
        return event.xproperty.time;
    }
    double localMs(Time server) const
    {
        // Server time is 32-bit milliseconds; differences wrap correctly.
        return m_localBase + static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(server - m_serverBase)));
    }

    Display *m_display = nullptr;
    Window m_clockWindow = 0;
    Time m_serverBase = 0;
    double m_localBase = 0;
    Window m_root = 0;
    int m_damageEvent = 0;
    std::map<Window, Damage> m_damage;
    std::set<Window> m_mapped;
    std::vector<Happening> m_pending;
};

double Deadline(const Arguments &args)
{
    return NowMs() + std::stod(args.get("timeout", "30")) * 1e3;
}

int Launch(Arguments &args)
{
    const std::string className = args.need("class");
    const unsigned size = std::stoul(args.get("size", "22"));
    Screen screen;
    const double deadline = Deadline(args);
    const double start = NowMs();
    const pid_t pid = Start(args.program);

    auto isIcon = [&](Window w) {
        return (screen.pidOf(w) == pid || screen.classOf(w) == className) && screen.hasSize(w, size);
    };
    double mapped = -1;
    Screen::Happening happening;
    for (;;) {
        if (!screen.next(happening, deadline)) {
            std::printf("pid=%d timeout=1\n", pid);
            std::fflush(stdout);
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            return 1;
        }
        if (std::getenv("QV_PROBE_TRACE"))
            std::fprintf(stderr, "probe: %s 0x%lx class=%s pid=%ld 22=%d\n",
                         happening.kind == Screen::Mapped ? "mapped" : "painted", happening.window,
                         screen.classOf(happening.window).c_str(), screen.pidOf(happening.window),
                         int(screen.hasSize(happening.window, size)));
        if (!isIcon(happening.window))
            continue;
        if (happening.kind == Screen::Mapped && mapped < 0)
            mapped = happening.atMs - start;
        if (happening.kind == Screen::Painted)
            break;
    }
    const double painted = happening.atMs - start;
    std::printf("pid=%d window=%lu mapped_ms=%.2f painted_ms=%.2f cpu_ms=%.2f\n", pid, happening.window,
                mapped < 0 ? painted : mapped, painted, CpuMs(pid));
    std::fflush(stdout);
    int status = 0;
    waitpid(pid, &status, 0);
    return 0;
}

void MoveTo(Screen &screen, Window window, int x, int y)
{
    int rootX = 0, rootY = 0;
    Window child = 0;
    if (!XTranslateCoordinates(screen.display(), window, screen.root(), x, y, &rootX, &rootY, &child))
        Fail("no such window");
    XTestFakeMotionEvent(screen.display(), -1, rootX, rootY, CurrentTime);
    XSync(screen.display(), False);
}

int Click(const Arguments &args)
{
    const Window window = std::stoul(args.need("window"), nullptr, 0);
    const std::string title = args.need("await-title");
    int x = 11, y = 11;
    std::sscanf(args.get("at", "11,11").c_str(), "%d,%d", &x, &y);
    const unsigned button = std::stoul(args.get("button", "1"));

    Screen screen;
    MoveTo(screen, window, x, y);
    usleep(50 * 1000); // let the pointer's arrival settle before the clock starts
    const double deadline = Deadline(args);
    const double start = NowMs();
    // Press and release together: a form asked for on the press is only shown
    // once the button is up, so a held button would be timed, not the program.
    XTestFakeButtonEvent(screen.display(), button, True, CurrentTime);
    XTestFakeButtonEvent(screen.display(), button, False, CurrentTime);
    XFlush(screen.display());

    Window target = 0;
    double mapped = -1;
    Screen::Happening happening;
    for (;;) {
        if (!screen.next(happening, deadline)) {
            std::printf("timeout=1\n");
            return 1;
        }
        if (happening.kind == Screen::Mapped && !target && screen.titleOf(happening.window) == title) {
            target = happening.window;
            mapped = happening.atMs - start;
        } else if (happening.kind == Screen::Painted && happening.window == target) {
            break;
        }
    }
    std::printf("window=%lu mapped_ms=%.2f painted_ms=%.2f\n", target, mapped, happening.atMs - start);
    return 0;
}

int Keys(const Arguments &args)
{
    std::vector<KeySym> symbols;
    const std::string combination = args.need("keys");
    std::size_t from = 0;
    for (;;) {
        const auto plus = combination.find('+', from);
        std::string name = combination.substr(from, plus == std::string::npos ? std::string::npos : plus - from);
        if (name == "alt")
            name = "Alt_L";
        else if (name == "ctrl")
            name = "Control_L";
        else if (name == "shift")
            name = "Shift_L";
        const KeySym symbol = XStringToKeysym(name.c_str());
        if (symbol == NoSymbol)
            Fail("unknown key " + name);
        symbols.push_back(symbol);
        if (plus == std::string::npos)
            break;
        from = plus + 1;
    }
    FileWatch watch(args.need("await-file"));
    Screen screen;
    std::vector<KeyCode> codes;
    for (KeySym symbol : symbols)
        codes.push_back(XKeysymToKeycode(screen.display(), symbol));

    const double deadline = Deadline(args);
    const double start = NowMs();
    for (KeyCode code : codes)
        XTestFakeKeyEvent(screen.display(), code, True, CurrentTime);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it)
        XTestFakeKeyEvent(screen.display(), *it, False, CurrentTime);
    XFlush(screen.display());
    if (!watch.wait(deadline)) {
        std::printf("timeout=1\n");
        return 1;
    }
    std::printf("stored_ms=%.2f started_at_ms=%.3f\n", NowMs() - start, start);
    return 0;
}

int Spawn(Arguments &args)
{
    FileWatch watch(args.need("await-file"));
    const double deadline = Deadline(args);
    const double start = NowMs();
    const pid_t pid = Start(args.program);
    const bool stored = watch.wait(deadline);
    const double storedMs = NowMs() - start;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double endedMs = NowMs() - start;
    if (!stored) {
        std::printf("timeout=1\n");
        return 1;
    }
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    std::printf("stored_ms=%.2f exited_ms=%.2f cpu_ms=%.2f status=%d started_at_ms=%.3f\n", storedMs, endedMs,
                ms(usage.ru_utime) + ms(usage.ru_stime), WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                start);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Arguments args = Parse(argc, argv);
    if (args.command == "launch")
        return Launch(args);
    if (args.command == "click")
        return Click(args);
    if (args.command == "keys")
        return Keys(args);
    if (args.command == "spawn")
        return Spawn(args);
    Fail("unknown command " + args.command);
}
