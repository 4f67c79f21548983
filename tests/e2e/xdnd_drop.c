/* Drops files on the window under a point of the X screen through the XDND
 * protocol, as a file manager does: XdndEnter offering text/uri-list,
 * XdndPosition at the point, XdndDrop once the target accepts, the file://
 * URIs handed over through the XdndSelection, and XdndFinished awaited.
 *
 *     xdnd-drop [-t MILLISECONDS] X Y FILE...
 *
 * Exit status: 0 dropped and finished, 1 usage or X error, 2 the target
 * refused the drop, 3 no drop-aware window at the point, 4 timed out. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

enum { kOurVersion = 5, kDefaultTimeoutMs = 5000 };

enum {
    ExitDropped = 0,
    ExitUsage = 1,
    ExitRefused = 2,
    ExitNoTarget = 3,
    ExitTimedOut = 4,
};

struct Atoms {
    Atom aware, enter, position, status, drop, finished, leave, selection, actionCopy, uriList,
        targets;
};

struct Drop {
    Display* display;
    Window source;
    Window target;
    int version;
    struct Atoms atoms;
    char* uris;
    size_t urisLength;
};

static void internAtoms(Display* display, struct Atoms* atoms) {
    atoms->aware = XInternAtom(display, "XdndAware", False);
    atoms->enter = XInternAtom(display, "XdndEnter", False);
    atoms->position = XInternAtom(display, "XdndPosition", False);
    atoms->status = XInternAtom(display, "XdndStatus", False);
    atoms->drop = XInternAtom(display, "XdndDrop", False);
    atoms->finished = XInternAtom(display, "XdndFinished", False);
    atoms->leave = XInternAtom(display, "XdndLeave", False);
    atoms->selection = XInternAtom(display, "XdndSelection", False);
    atoms->actionCopy = XInternAtom(display, "XdndActionCopy", False);
    atoms->uriList = XInternAtom(display, "text/uri-list", False);
    atoms->targets = XInternAtom(display, "TARGETS", False);
}

static long nowMs(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

/* The XDND version a window announces, or 0 when it takes no drops. */
static int awareVersion(Display* display, Window window, Atom aware) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = NULL;
    int version = 0;
    if (XGetWindowProperty(display, window, aware, 0, 1, False, XA_ATOM, &type, &format, &count,
                           &after, &data) == Success &&
        type == XA_ATOM && format == 32 && count == 1) {
        version = (int)((unsigned long*)(void*)data)[0];
    }
    if (data != NULL) {
        XFree(data);
    }
    return version;
}

/* The outermost drop-aware window under the point, descending from the root
 * through the window stack as a drag source does. */
static Window findTarget(Display* display, int x, int y, Atom aware, int* version) {
    const Window root = DefaultRootWindow(display);
    Window window = root;
    for (;;) {
        int childX = 0, childY = 0;
        Window child = None;
        if (!XTranslateCoordinates(display, root, window, x, y, &childX, &childY, &child) ||
            child == None) {
            return None;
        }
        window = child;
        *version = awareVersion(display, window, aware);
        if (*version > 0) {
            return window;
        }
    }
}

static int needsEscape(unsigned char byte) {
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9')) {
        return 0;
    }
    return strchr("/-._~", byte) == NULL;
}

/* "file://" + the absolute path, each byte outside the unreserved set
 * written as %XX, and CR LF: one line of text/uri-list. */
static int appendUri(const char* path, char** uris, size_t* length) {
    static const char digits[] = "0123456789ABCDEF";
    char cwd[4096] = "";
    if (path[0] != '/' && getcwd(cwd, sizeof cwd) == NULL) {
        return 0;
    }
    const size_t cwdLength = strlen(cwd);
    const size_t pathLength = strlen(path);
    const size_t worst = 7 + 3 * (cwdLength + 1 + pathLength) + 2;
    char* grown = realloc(*uris, *length + worst + 1);
    if (grown == NULL) {
        return 0;
    }
    *uris = grown;
    char* out = grown + *length;
    memcpy(out, "file://", 7);
    out += 7;
    for (int part = 0; part < 2; part++) {
        const char* text = part == 0 ? cwd : path;
        if (part == 1 && cwdLength > 0) {
            *out++ = '/';
        }
        for (const unsigned char* p = (const unsigned char*)text; *p != '\0'; p++) {
            if (needsEscape(*p)) {
                *out++ = '%';
                *out++ = digits[*p >> 4];
                *out++ = digits[*p & 15];
            } else {
                *out++ = (char)*p;
            }
        }
    }
    *out++ = '\r';
    *out++ = '\n';
    *out = '\0';
    *length = (size_t)(out - grown);
    return 1;
}

static void sendMessage(const struct Drop* drop, Atom type, long l1, long l2, long l3, long l4) {
    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.display = drop->display;
    event.xclient.window = drop->target;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)drop->source;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    event.xclient.data.l[4] = l4;
    XSendEvent(drop->display, drop->target, False, NoEventMask, &event);
    XFlush(drop->display);
}

/* Hands the URIs to whoever asks for the selection's text/uri-list (the
 * target may ask as soon as it sees XdndEnter), and refuses other types. */
static void answerSelectionRequest(const struct Drop* drop, const XSelectionRequestEvent* request) {
    XEvent reply;
    memset(&reply, 0, sizeof reply);
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = request->display;
    reply.xselection.requestor = request->requestor;
    reply.xselection.selection = request->selection;
    reply.xselection.target = request->target;
    reply.xselection.time = request->time;
    const Atom property = request->property != None ? request->property : request->target;
    reply.xselection.property = None;
    if (request->selection == drop->atoms.selection) {
        if (request->target == drop->atoms.uriList) {
            XChangeProperty(drop->display, request->requestor, property, drop->atoms.uriList, 8,
                            PropModeReplace, (const unsigned char*)drop->uris,
                            (int)drop->urisLength);
            reply.xselection.property = property;
        } else if (request->target == drop->atoms.targets) {
            const Atom offered[2] = {drop->atoms.targets, drop->atoms.uriList};
            XChangeProperty(drop->display, request->requestor, property, XA_ATOM, 32,
                            PropModeReplace, (const unsigned char*)offered, 2);
            reply.xselection.property = property;
        }
    }
    XSendEvent(drop->display, request->requestor, False, NoEventMask, &reply);
    XFlush(drop->display);
}

/* Waits for the next event until the deadline; 0 when it passed. */
static int nextEvent(Display* display, long deadline, XEvent* event) {
    const int fd = ConnectionNumber(display);
    while (XPending(display) == 0) {
        const long left = deadline - nowMs();
        if (left <= 0) {
            return 0;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        struct timeval wait = {left / 1000, (left % 1000) * 1000};
        if (select(fd + 1, &readable, NULL, NULL, &wait) < 0 && errno != EINTR) {
            return 0;
        }
    }
    XNextEvent(display, event);
    return 1;
}

static int runDrop(struct Drop* drop, int x, int y, long timeoutMs) {
    const struct Atoms* atoms = &drop->atoms;
    const int version = drop->version < kOurVersion ? drop->version : kOurVersion;
    XSetSelectionOwner(drop->display, atoms->selection, drop->source, CurrentTime);
    if (XGetSelectionOwner(drop->display, atoms->selection) != drop->source) {
        fprintf(stderr, "xdnd-drop: cannot own the XdndSelection\n");
        return ExitUsage;
    }
    sendMessage(drop, atoms->enter, (long)version << 24, (long)atoms->uriList, None, None);
    sendMessage(drop, atoms->position, 0, ((long)x << 16) | (y & 0xFFFF), CurrentTime,
                (long)atoms->actionCopy);

    const long deadline = nowMs() + timeoutMs;
    int dropped = 0;
    XEvent event;
    while (nextEvent(drop->display, deadline, &event)) {
        if (event.type == SelectionRequest) {
            answerSelectionRequest(drop, &event.xselectionrequest);
            continue;
        }
        if (event.type != ClientMessage || (Window)event.xclient.data.l[0] != drop->target) {
            continue;
        }
        if (event.xclient.message_type == atoms->status && !dropped) {
            if ((event.xclient.data.l[1] & 1) == 0) {
                sendMessage(drop, atoms->leave, 0, 0, 0, 0);
                fprintf(stderr, "xdnd-drop: the window at %d,%d refused the drop\n", x, y);
                return ExitRefused;
            }
            sendMessage(drop, atoms->drop, 0, CurrentTime, 0, 0);
            dropped = 1;
        } else if (event.xclient.message_type == atoms->finished && dropped) {
            return ExitDropped;
        }
    }
    if (!dropped) {
        sendMessage(drop, atoms->leave, 0, 0, 0, 0);
    }
    fprintf(stderr, "xdnd-drop: no %s from the window at %d,%d in %ld ms\n",
            dropped ? "XdndFinished" : "XdndStatus", x, y, timeoutMs);
    return ExitTimedOut;
}

static int parseInt(const char* text, long* value) {
    char* end = NULL;
    errno = 0;
    *value = strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

int main(int argc, char** argv) {
    long timeoutMs = kDefaultTimeoutMs;
    int first = 1;
    if (argc > 2 && strcmp(argv[1], "-t") == 0) {
        if (!parseInt(argv[2], &timeoutMs) || timeoutMs <= 0) {
            fprintf(stderr, "xdnd-drop: bad timeout: %s\n", argv[2]);
            return ExitUsage;
        }
        first = 3;
    }
    long x = 0, y = 0;
    if (argc - first < 3 || !parseInt(argv[first], &x) || !parseInt(argv[first + 1], &y)) {
        fprintf(stderr, "usage: xdnd-drop [-t MILLISECONDS] X Y FILE...\n");
        return ExitUsage;
    }

    struct Drop drop;
    memset(&drop, 0, sizeof drop);
    drop.display = XOpenDisplay(NULL);
    if (drop.display == NULL) {
        fprintf(stderr, "xdnd-drop: cannot open the display\n");
        return ExitUsage;
    }
    internAtoms(drop.display, &drop.atoms);
    for (int i = first + 2; i < argc; i++) {
        if (!appendUri(argv[i], &drop.uris, &drop.urisLength)) {
            fprintf(stderr, "xdnd-drop: cannot make a URI of %s\n", argv[i]);
            XCloseDisplay(drop.display);
            return ExitUsage;
        }
    }

    int status = ExitNoTarget;
    const long deadline = nowMs() + timeoutMs;
    /* The window may not be mapped or drop-aware yet: look again for a while. */
    while ((drop.target = findTarget(drop.display, (int)x, (int)y, drop.atoms.aware,
                                     &drop.version)) == None &&
           nowMs() < deadline) {
        usleep(50 * 1000);
    }
    if (drop.target == None) {
        fprintf(stderr, "xdnd-drop: no drop-aware window at %ld,%ld\n", x, y);
    } else {
        drop.source =
            XCreateSimpleWindow(drop.display, DefaultRootWindow(drop.display), 0, 0, 1, 1, 0, 0, 0);
        status = runDrop(&drop, (int)x, (int)y, deadline - nowMs() > 0 ? deadline - nowMs() : 1);
        XDestroyWindow(drop.display, drop.source);
    }
    free(drop.uris);
    XCloseDisplay(drop.display);
    return status;
}
