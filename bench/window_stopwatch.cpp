// Times a windowed program from outside, as a user sees it, on an X display without a
// window manager (Xvfb):
//
//   window-stopwatch [options] TITLE -- PROGRAM [ARGS...]
//
// Each run starts PROGRAM and measures the time until its top-level window named TITLE
// is mapped and until it is painted (its pixels differ from what was on the screen
// before). With --dismiss ALERT, a window named ALERT may come first: the time until it
// is painted is measured too, then the stopwatch focuses it and presses Escape at once,
// as an impatient user would, and goes on waiting for TITLE (nothing is subtracted for
// the alert). With --click X,Y DIALOG it then clicks at X,Y inside that window (XTest, as
// xdotool does) and measures, from the release of the button, until a window named
// DIALOG is mapped and painted. The program is then ended, and its peak resident memory read
// from the kernel (as /usr/bin/time -v reports it). Prints every run and the median,
// minimum and maximum of each figure.
//
// On a machine shared with other work the program also waits for a processor. For each
// painted figure the kernel's scheduler statistics give the program's own processor time
// and its time waiting in the run queue (all its threads); the time minus that wait is
// what the figure would be on an otherwise idle machine, X server aside.
//
// Options: --runs N (default 10), --warmup N (default 2), --settle MS (pause before
// the click, default 300), --dismiss ALERT.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <dirent.h>
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
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "window-stopwatch: %s\n", message.c_str());
    std::exit(2);
}

struct Options
{
    int runs = 10;
    int warmup = 2;
    int settleMs = 300;
    std::string title;
    std::optional<std::pair<int, int>> click;
    std::string dialogTitle;
    std::string dismissTitle;
    std::vector<char*> command;
};

Options parse(int argc, char** argv)
{
    Options o;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                fail(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--runs")
            o.runs = std::atoi(value());
        else if (arg == "--warmup")
            o.warmup = std::atoi(value());
        else if (arg == "--settle")
            o.settleMs = std::atoi(value());
        else if (arg == "--click") {
            int x = 0, y = 0;
            if (std::sscanf(value(), "%d,%d", &x, &y) != 2)
                fail("--click takes X,Y");
            o.click = std::pair(x, y);
            o.dialogTitle = value();
        } else if (arg == "--dismiss")
            o.dismissTitle = value();
        else if (o.title.empty())
            o.title = arg;
        else
            fail("unexpected argument " + arg);
    }
    for (++i; i < argc; ++i)
        o.command.push_back(argv[i]);
    o.command.push_back(nullptr);
    if (o.title.empty() || o.command.size() < 2 || o.runs < 1)
        fail("usage: window-stopwatch [--runs N] [--warmup N] [--settle MS] [--click X,Y DIALOG] [--dismiss ALERT] "
             "TITLE -- PROGRAM [ARGS...]");
    return o;
}

struct ImageDeleter
{
    void operator()(XImage* image) const { XDestroyImage(image); }
};

class XScreen
{
public:
    XScreen()
    {
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            fail("cannot open the X display (is DISPLAY set?)");
        m_root = DefaultRootWindow(m_display);
        XWindowAttributes root{};
        XGetWindowAttributes(m_display, m_root, &root);
        m_width = root.width;
        m_height = root.height;
        m_netWmName = XInternAtom(m_display, "_NET_WM_NAME", False);
        m_utf8 = XInternAtom(m_display, "UTF8_STRING", False);
        XSelectInput(m_display, m_root, SubstructureNotifyMask);
    }
    ~XScreen() { XCloseDisplay(m_display); }

    /// What the whole screen shows now; painting is told apart from it.
    void remember()
    {
        m_before.reset(XGetImage(m_display, m_root, 0, 0, unsigned(m_width), unsigned(m_height), AllPlanes, ZPixmap));
        if (!m_before)
            fail("cannot read the screen");
    }

    struct Window
    {
        ::Window id;
        int x, y, width, height;
        std::string title;
    };

    /// Waits until a top-level window named one of `titles` is mapped.
    std::optional<Window> waitForMap(const std::vector<std::string>& titles, Clock::time_point deadline)
    {
        while (Clock::now() < deadline) {
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type != MapNotify || event.xmap.event != m_root)
                    continue;
                std::string name = nameOf(event.xmap.window);
                if (std::find(titles.begin(), titles.end(), name) != titles.end()) {
                    XWindowAttributes a{};
                    XGetWindowAttributes(m_display, event.xmap.window, &a);
                    return Window{event.xmap.window, a.x, a.y, a.width, a.height, std::move(name)};
                }
            }
            pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
            poll(&fd, 1, 5);
        }
        return std::nullopt;
    }

    /// Waits until enough of the window's pixels differ from the remembered screen:
    /// Qt paints a window in one piece, so the first sign of it is the whole of it.
    bool waitForPaint(const Window& w, Clock::time_point deadline)
    {
        // Five lines across the window; 5 % of their pixels changed means painted.
        while (Clock::now() < deadline) {
            long changed = 0, total = 0;
            for (int line = 1; line <= 9; line += 2) {
                const int y = w.y + w.height * line / 10;
                const int x0 = std::max(w.x, 0), x1 = std::min(w.x + w.width, m_width);
                if (y < 0 || y >= m_height || x1 <= x0)
                    continue;
                const std::unique_ptr<XImage, ImageDeleter> now(
                    XGetImage(m_display, m_root, x0, y, unsigned(x1 - x0), 1, AllPlanes, ZPixmap));
                if (!now)
                    continue;
                for (int x = x0; x < x1; ++x, ++total)
                    changed += XGetPixel(now.get(), x - x0, 0) != XGetPixel(m_before.get(), x, y);
            }
            if (total > 0 && changed * 20 >= total)
                return true;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return false;
    }

    void movePointer(int x, int y)
    {
        XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
        XSync(m_display, False);
    }

    void pressButton() { button(True); }
    void releaseButton() { button(False); }

    /// Escape into the window, focused first as a window manager focuses a new window.
    void pressEscape(const Window& w)
    {
        XSetInputFocus(m_display, w.id, RevertToPointerRoot, CurrentTime);
        const unsigned key = XKeysymToKeycode(m_display, XK_Escape);
        XTestFakeKeyEvent(m_display, key, True, CurrentTime);
        XTestFakeKeyEvent(m_display, key, False, CurrentTime);
        XSync(m_display, False);
    }

    /// Drops the notifications of earlier runs.
    void drain()
    {
        XSync(m_display, False);
        while (XPending(m_display)) {
            XEvent event;
            XNextEvent(m_display, &event);
        }
    }

private:
    void button(Bool press)
    {
        XTestFakeButtonEvent(m_display, 1, press, CurrentTime);
        XSync(m_display, False);
    }

    std::string nameOf(::Window window)
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::string name;
        if (XGetWindowProperty(m_display, window, m_netWmName, 0, 256, False, m_utf8, &type, &format, &count, &after,
                               &data) == Success &&
            data) {
            name.assign(reinterpret_cast<char*>(data), count);
            XFree(data);
        }
        return name;
    }

    Display* m_display = nullptr;
    ::Window m_root = 0;
    int m_width = 0, m_height = 0;
    Atom m_netWmName = None, m_utf8 = None;
    std::unique_ptr<XImage, ImageDeleter> m_before;
};

/// Milliseconds the process has spent on a processor and waiting for one, summed over its threads.
struct Scheduling
{
    double runningMs = 0, waitingMs = 0;

    static Scheduling of(pid_t pid)
    {
        Scheduling total;
        const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
        DIR* dir = opendir(tasks.c_str());
        if (!dir)
            return total;
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            if (FILE* f = std::fopen((tasks + "/" + entry->d_name + "/schedstat").c_str(), "r")) {
                unsigned long long running = 0, waiting = 0;
                if (std::fscanf(f, "%llu %llu", &running, &waiting) == 2) {
                    total.runningMs += double(running) / 1e6;
                    total.waitingMs += double(waiting) / 1e6;
                }
                std::fclose(f);
            }
        }
        closedir(dir);
        return total;
    }
    Scheduling operator-(const Scheduling& earlier) const
    {
        return {runningMs - earlier.runningMs, waitingMs - earlier.waitingMs};
    }
};

pid_t start(const std::vector<char*>& command)
{
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execvp(command[0], command.data());
        _exit(127);
    }
    if (pid < 0)
        fail("cannot start the program");
    return pid;
}

/// Ends the program and returns its peak resident memory in KiB.
long finish(pid_t pid)
{
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

struct Run
{
    double firstPainted = 0, firstPaintedUnqueued = 0; ///< of ALERT, or of TITLE when it came first
    bool dismissed = false;                            ///< ALERT came first
    double mapped = 0, painted = 0, dialogMapped = 0, dialogPainted = 0;
    Scheduling startUp, dialog; ///< of the program, until the window and the dialog were painted
    double paintedUnqueued = 0, dialogPaintedUnqueued = 0;
    double dialogCpu = 0; ///< the program's time on a processor, all its threads, click to painted
    long peakKiB = 0;
};

struct Figure
{
    const char* name;
    double Run::*value;
};

void summarize(const std::vector<Run>& runs, bool dialog, const std::string& dismissTitle)
{
    std::vector<Figure> figures;
    if (!dismissTitle.empty()) {
        const auto alerts = std::count_if(runs.begin(), runs.end(), [](const Run& r) { return r.dismissed; });
        std::printf("  \"%s\" came first in %ld of %zu runs\n", dismissTitle.c_str(), long(alerts), runs.size());
        figures.push_back({"first window painted (ms)", &Run::firstPainted});
        figures.push_back({"  less waiting for a CPU (ms)", &Run::firstPaintedUnqueued});
    }
    figures.push_back({"window mapped (ms)", &Run::mapped});
    figures.push_back({"window painted (ms)", &Run::painted});
    figures.push_back({"  less waiting for a CPU (ms)", &Run::paintedUnqueued});
    if (dialog) {
        figures.push_back({"dialog mapped after click (ms)", &Run::dialogMapped});
        figures.push_back({"dialog painted after click (ms)", &Run::dialogPainted});
        figures.push_back({"  less waiting for a CPU (ms)", &Run::dialogPaintedUnqueued});
        figures.push_back({"  the program's CPU time (ms)", &Run::dialogCpu});
    }
    auto line = [](const char* name, std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
        std::printf("  %-34s median %8.1f   min %8.1f   max %8.1f\n", name, median, values.front(), values.back());
    };
    for (const Figure& f : figures) {
        std::vector<double> values;
        for (const Run& r : runs)
            values.push_back(r.*f.value);
        line(f.name, values);
    }
    std::vector<double> peaks;
    for (const Run& r : runs)
        peaks.push_back(double(r.peakKiB) / 1024.0);
    line("peak memory (MiB)", peaks);
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    XScreen screen;
    std::vector<Run> runs;
    for (int i = 0; i < o.warmup + o.runs; ++i) {
        screen.drain();
        screen.remember();
        Run run;
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        const auto t0 = Clock::now();
        const pid_t pid = start(o.command);
        std::vector<std::string> firstTitles{o.title};
        if (!o.dismissTitle.empty())
            firstTitles.push_back(o.dismissTitle);
        auto window = screen.waitForMap(firstTitles, deadline);
        if (window && window->title == o.dismissTitle) {
            if (!screen.waitForPaint(*window, deadline)) {
                finish(pid);
                fail("the window \"" + o.dismissTitle + "\" was never painted");
            }
            run.firstPainted = millisecondsSince(t0);
            run.firstPaintedUnqueued = run.firstPainted - Scheduling::of(pid).waitingMs;
            run.dismissed = true;
            screen.pressEscape(*window);
            window = screen.waitForMap({o.title}, deadline);
        }
        if (!window) {
            finish(pid);
            fail("no window named \"" + o.title + "\" appeared");
        }
        run.mapped = millisecondsSince(t0);
        if (!screen.waitForPaint(*window, deadline)) {
            finish(pid);
            fail("the window was never painted");
        }
        run.painted = millisecondsSince(t0);
        run.startUp = Scheduling::of(pid);
        run.paintedUnqueued = run.painted - run.startUp.waitingMs;
        if (!run.dismissed) {
            run.firstPainted = run.painted;
            run.firstPaintedUnqueued = run.paintedUnqueued;
        }

        if (o.click) {
            std::this_thread::sleep_for(std::chrono::milliseconds(o.settleMs));
            screen.movePointer(window->x + o.click->first, window->y + o.click->second);
            std::this_thread::sleep_for(std::chrono::milliseconds(o.settleMs));
            screen.pressButton();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            screen.drain();
            screen.remember();
            // A push button acts when it is released.
            const Scheduling before = Scheduling::of(pid);
            const auto t1 = Clock::now();
            screen.releaseButton();
            const auto dialog = screen.waitForMap({o.dialogTitle}, Clock::now() + std::chrono::seconds(30));
            if (!dialog) {
                finish(pid);
                fail("no window named \"" + o.dialogTitle + "\" appeared after the click");
            }
            run.dialogMapped = millisecondsSince(t1);
            if (!screen.waitForPaint(*dialog, Clock::now() + std::chrono::seconds(30))) {
                finish(pid);
                fail("the dialog was never painted");
            }
            run.dialogPainted = millisecondsSince(t1);
            run.dialog = Scheduling::of(pid) - before;
            run.dialogPaintedUnqueued = run.dialogPainted - run.dialog.waitingMs;
            run.dialogCpu = run.dialog.runningMs;
        }
        run.peakKiB = finish(pid);
        const bool warmup = i < o.warmup;
        std::printf("%s %2d:", warmup ? "warm-up" : "run    ", i + 1);
        if (run.dismissed)
            std::printf(" alert painted %7.1f (less queued %6.1f), then", run.firstPainted, run.firstPaintedUnqueued);
        std::printf(" mapped %7.1f  painted %7.1f (cpu %6.1f, queued %6.1f)", run.mapped, run.painted,
                    run.startUp.runningMs, run.startUp.waitingMs);
        if (o.click)
            std::printf("  dialog mapped %7.1f  painted %7.1f (cpu %6.1f, queued %6.1f)", run.dialogMapped,
                        run.dialogPainted, run.dialog.runningMs, run.dialog.waitingMs);
        std::printf("  peak %6.1f MiB\n", double(run.peakKiB) / 1024.0);
        std::fflush(stdout);
        if (!warmup)
            runs.push_back(run);
        // Let the screen settle back to the empty root.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::printf("%zu runs:\n", runs.size());
    summarize(runs, o.click.has_value(), o.dismissTitle);
    return 0;
}
