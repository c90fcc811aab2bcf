// x11_close PID [SECONDS]: waits until process PID shows a window on $DISPLAY, prints its title,
// and sends it a close request (WM_DELETE_WINDOW), as a window manager's close button does. Exit
// status 0 when the request was sent, 1 when no such window appeared in time (default 20 s).
// The package test uses it to close the installed program the way an operator does, under Xvfb
// where no window manager runs.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

long PidOf(Display* display, Window window, Atom pidAtom) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && format == 32 && count == 1) {
        pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
    }
    if (data != nullptr) XFree(data);
    return pid;
}

bool TakesCloseRequests(Display* display, Window window, Atom deleteAtom) {
    Atom* protocols = nullptr;
    int count = 0;
    bool found = false;
    if (XGetWMProtocols(display, window, &protocols, &count) != 0) {
        for (int i = 0; i < count; ++i) found = found || protocols[i] == deleteAtom;
        XFree(protocols);
    }
    return found;
}

// A viewable top-level window of `pid` that takes close requests, or None.
Window FindWindow(Display* display, long pid, Atom pidAtom, Atom deleteAtom) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = None;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
        return None;
    }
    for (unsigned int i = 0; i < count && found == None; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable && PidOf(display, children[i], pidAtom) == pid &&
            TakesCloseRequests(display, children[i], deleteAtom)) {
            found = children[i];
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: x11_close PID [SECONDS]\n", stderr);
        return 2;
    }
    const long pid = std::atol(argv[1]);
    const double seconds = argc >= 3 ? std::atof(argv[2]) : 20.0;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fputs("x11_close: cannot open the display\n", stderr);
        return 1;
    }
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    const Atom protocolsAtom = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    Window window = None;
    // The window appears when the program has started; nothing announces it, so look again
    // every 50 ms until it is there or the time is up.
    while ((window = FindWindow(display, pid, pidAtom, deleteAtom)) == None) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "x11_close: no window of process %ld\n", pid);
            XCloseDisplay(display);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    XTextProperty title{};
    if (XGetWMName(display, window, &title) != 0) {
        char** list = nullptr;
        int n = 0;
        if (Xutf8TextPropertyToTextList(display, &title, &list, &n) >= Success && n > 0) {
            std::printf("%s\n", list[0]);
            XFreeStringList(list);
        }
        XFree(title.value);
    }
    std::fflush(stdout);

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocolsAtom;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteAtom);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
