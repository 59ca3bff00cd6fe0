// Helpers for the window tests: private X servers, reading a window back
// through a second connection, and the shared-memory segments a process owns.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// An Xvfb of the test's own on a free display number (the server picks it
// and reports it through -displayfd). Optionally in an IPC namespace of its
// own, so that it cannot attach our shared-memory segments.
class PrivateXServer {
public:
    PrivateXServer(std::vector<std::string> args, bool ownIpcNamespace)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        std::vector<std::string> command = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset", "-nolisten", "tcp"};
        if (ownIpcNamespace)
            command.insert(command.begin(), {"unshare", "--ipc"});
        command.insert(command.end(), args.begin(), args.end());
        owner = getpid();
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            const int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            std::vector<char*> argv;
            for (std::string& a : command)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        pollfd p{fds[0], POLLIN, 0};
        char c;
        while (poll(&p, 1, 30000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
            name += c;
        close(fds[0]);
        if (!name.empty())
            name = ":" + name;
    }
    ~PrivateXServer() { Kill(SIGTERM); }

    // Ends the server with `signal` and waits for it.
    void Kill(int signal)
    {
        // A forked test child that exits must not take the server with it.
        if (pid > 0 && getpid() == owner) {
            kill(pid, signal);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // ":N", or "" when the server did not start.
    const std::string& DisplayName() const { return name; }

private:
    pid_t pid = -1, owner = -1;
    std::string name;
};

// Sets DISPLAY for the lifetime of the object and restores it afterwards.
class ScopedDisplay {
public:
    explicit ScopedDisplay(const std::string& value) : had(std::getenv("DISPLAY") != nullptr)
    {
        if (had)
            previous = std::getenv("DISPLAY");
        setenv("DISPLAY", value.c_str(), 1);
    }
    ~ScopedDisplay() { had ? setenv("DISPLAY", previous.c_str(), 1) : unsetenv("DISPLAY"); }

private:
    bool had;
    std::string previous;
};

// The window's pixels as the server holds them, read through a connection of
// its own; empty when it cannot be read.
inline std::vector<uint32_t> ReadWindow(const std::string& displayName, Window window, int width, int height)
{
    std::vector<uint32_t> pixels;
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display)
        return pixels;
    if (XImage* image = XGetImage(display, window, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap)) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.push_back(uint32_t(XGetPixel(image, x, y)));
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return pixels;
}

// The one top-level window titled `title`; 0 when there is none.
inline Window FindWindowByTitle(const std::string& displayName, const char* title)
{
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display)
        return 0;
    Window root, parent, found = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            char* name = nullptr;
            if (XFetchName(display, children[i], &name) && name) {
                found = std::strcmp(name, title) == 0 ? children[i] : found;
                XFree(name);
            }
        }
        XFree(children);
    }
    XCloseDisplay(display);
    return found;
}

struct SegmentInfo {
    int id;
    unsigned mode;  // permission bits plus SHM_DEST (01000) once marked for removal
};

// The System V shared-memory segments on the machine and the processes that
// created them.
struct CreatedSegment {
    SegmentInfo segment;
    long creator;
};

inline std::vector<CreatedSegment> AllSegments()
{
    std::vector<CreatedSegment> segments;
    std::ifstream in("/proc/sysvipc/shm");
    std::string line, perms;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long key, id, size, cpid;
        if (fields >> key >> id >> perms >> size >> cpid)
            segments.push_back({{int(id), unsigned(std::stoul(perms, nullptr, 8))}, cpid});
    }
    return segments;
}

// The segments there before this program started: process ids are reused,
// and a segment some other program left behind may name a creator that has
// the id of one of ours.
inline const std::vector<CreatedSegment> SEGMENTS_BEFORE = AllSegments();

// The System V shared-memory segments created by process `pid` since this
// program started.
inline std::vector<SegmentInfo> SegmentsCreatedBy(pid_t pid)
{
    std::vector<SegmentInfo> segments;
    for (const CreatedSegment& s : AllSegments()) {
        const bool before = std::any_of(SEGMENTS_BEFORE.begin(), SEGMENTS_BEFORE.end(), [&](const CreatedSegment& b) {
            return b.segment.id == s.segment.id && b.creator == s.creator;
        });
        if (s.creator == pid && !before)
            segments.push_back(s.segment);
    }
    return segments;
}

// True once process `pid` owns no segment. The server lets go of its last
// reference when it has processed the closed connection, a moment after the
// client is done, so this waits up to ten seconds for it.
inline bool SegmentsGoneSoon(pid_t pid)
{
    for (int i = 0; i < 200 && !SegmentsCreatedBy(pid).empty(); ++i)
        usleep(50000);
    return SegmentsCreatedBy(pid).empty();
}

// Sends `window` what a window manager's close button (`what` =
// "WM_DELETE_WINDOW") or a key press (`what` = the key's name) sends, from a
// connection of its own.
inline void SendToWindow(const std::string& displayName, Window window, const char* what)
{
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display)
        return;
    XEvent event{};
    if (const KeySym key = XStringToKeysym(what); key != NoSymbol) {
        event.xkey = {KeyPress, 0, True, display, window, DefaultRootWindow(display), None, CurrentTime,
                      1, 1, 1, 1, 0, XKeysymToKeycode(display, key), True};
        XSendEvent(display, window, True, KeyPressMask, &event);
    } else {
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(display, what, False));
        XSendEvent(display, window, False, NoEventMask, &event);
    }
    XSync(display, False);
    XCloseDisplay(display);
}
