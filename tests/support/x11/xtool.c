/* xtool: what a user and a window manager do to a window, for the real-window
 * tests under Xvfb. One program, one subcommand per run:
 *
 *   xtool [-t SECONDS] drop WINDOW URI [URI...]   drag files onto a window (XDND 5)
 *   xtool [-t SECONDS] close WINDOW               WM_DELETE_WINDOW, as a close box does
 *   xtool capture WINDOW OUT.png|-                the client area as RGB PNG (- : PPM on stdout)
 *   xtool capture-root X Y W H OUT.png|-          a rectangle of the root window
 *   xtool geometry WINDOW                         prints "x y w h" of the client area
 *   xtool frame WINDOW                            prints the id of the root's child holding it
 *   xtool keycode KEYSYM                          prints the keysym's keycode in this keymap
 *   xtool [-t SECONDS] wm-ready                   waits until a window manager maps windows
 *
 * WINDOW is decimal or 0x hex. Every wait is bounded (default 10 s); the exit
 * code is 0 on success, 1 on a usage or X error, 2 on a timeout and 3 when the
 * window refused the drop. Messages go to stderr. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <png.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>

enum { exitOk = 0, exitFail = 1, exitTimeout = 2, exitRefused = 3 };

static Display* dpy;
static double timeoutSeconds = 10.0;
static int lastXError;

static int fail(int code, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    fputs("xtool: ", stderr);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
    return code;
}

/* X errors (a window that went away, a window off the screen) become a result
 * the caller checks instead of the default handler's exit. */
static int onXError(Display* d, XErrorEvent* e) {
    (void)d;
    lastXError = e->error_code;
    return 0;
}

static int parseWindow(const char* text, Window* out) {
    char* end = NULL;
    errno = 0;
    unsigned long v = strtoul(text, &end, 0);
    if (errno || end == text || *end || v == 0) return 0;
    *out = (Window)v;
    return 1;
}

static double nowSeconds(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

/* Next event, or 0 when the deadline passes first. */
static int nextEvent(XEvent* ev, double deadline) {
    for (;;) {
        if (XPending(dpy)) {
            XNextEvent(dpy, ev);
            return 1;
        }
        double left = deadline - nowSeconds();
        if (left <= 0) return 0;
        int fd = ConnectionNumber(dpy);
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(fd, &fds);
        struct timeval tv = {(time_t)left, (suseconds_t)((left - (time_t)left) * 1e6)};
        select(fd + 1, &fds, NULL, NULL, &tv);
    }
}

static int windowExists(Window w, XWindowAttributes* attr) {
    XWindowAttributes dummy;
    if (!attr) attr = &dummy;
    lastXError = 0;
    Status ok = XGetWindowAttributes(dpy, w, attr);
    XSync(dpy, False);
    return ok && !lastXError;
}

/* The first 32-bit item of a window property, or 0 when it has none. */
static unsigned long propertyValue(Window w, Atom prop, Atom* typeOut) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = NULL;
    unsigned long value = 0;
    lastXError = 0;
    if (XGetWindowProperty(dpy, w, prop, 0, 1, False, AnyPropertyType, &type, &format, &count,
                           &after, &data) == Success &&
        data && count > 0 && format == 32)
        value = ((unsigned long*)data)[0];
    if (data) XFree(data);
    if (typeOut) *typeOut = type;
    return value;
}

/* Breadth-first search of w and its descendants for a window with prop. */
static Window findWithProperty(Window w, Atom prop) {
    Window queue[4096];
    int head = 0, tail = 0;
    queue[tail++] = w;
    while (head < tail) {
        Window cur = queue[head++];
        Atom type = None;
        propertyValue(cur, prop, &type);
        if (type != None) return cur;
        Window root, parent, *kids = NULL;
        unsigned int n = 0;
        if (XQueryTree(dpy, cur, &root, &parent, &kids, &n)) {
            for (unsigned int i = 0; i < n && tail < 4096; ++i)
                queue[tail++] = kids[i];
            if (kids) XFree(kids);
        }
    }
    return None;
}

/* A server timestamp: the time of a property change on our own window. ICCCM
 * asks for real times on selections, and Wine and SDL compare them. */
static Time serverTime(Window own) {
    Atom a = XInternAtom(dpy, "XTOOL_TIME", False);
    XSelectInput(dpy, own, PropertyChangeMask);
    XChangeProperty(dpy, own, a, XA_STRING, 8, PropModeAppend, NULL, 0);
    XEvent ev;
    double deadline = nowSeconds() + timeoutSeconds;
    while (nextEvent(&ev, deadline))
        if (ev.type == PropertyNotify && ev.xproperty.window == own) return ev.xproperty.time;
    return CurrentTime;
}

/* ---- drop ---------------------------------------------------------------- */

typedef struct DropSource {
    Window self;
    Window target;  /* the XdndAware window */
    Window deliver; /* where messages go: the target or its XdndProxy */
    Atom aSelection, aEnter, aPosition, aStatus, aDrop, aLeave, aFinished, aCopy, aUriList,
        aTargets, aTypeList, aProxy;
    const char* payload;
    size_t payloadLen;
    int requests; /* data requests answered */
} DropSource;

static void sendXdnd(DropSource* s, Atom type, long l1, long l2, long l3, long l4) {
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.display = dpy;
    ev.xclient.window = s->target;
    ev.xclient.message_type = type;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)s->self;
    ev.xclient.data.l[1] = l1;
    ev.xclient.data.l[2] = l2;
    ev.xclient.data.l[3] = l3;
    ev.xclient.data.l[4] = l4;
    XSendEvent(dpy, s->deliver, False, NoEventMask, &ev);
    XFlush(dpy);
}

/* Hands the URI list to whoever asks for it; refuses every other target. */
static void answerSelectionRequest(DropSource* s, XSelectionRequestEvent* req) {
    XEvent reply;
    memset(&reply, 0, sizeof reply);
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = dpy;
    reply.xselection.requestor = req->requestor;
    reply.xselection.selection = req->selection;
    reply.xselection.target = req->target;
    reply.xselection.time = req->time;
    reply.xselection.property = None;
    Atom prop = req->property != None ? req->property : req->target; /* obsolete clients */
    if (req->selection == s->aSelection) {
        if (req->target == s->aUriList) {
            XChangeProperty(dpy, req->requestor, prop, s->aUriList, 8, PropModeReplace,
                            (const unsigned char*)s->payload, (int)s->payloadLen);
            reply.xselection.property = prop;
            s->requests++;
        } else if (req->target == s->aTargets) {
            Atom list[2] = {s->aTargets, s->aUriList};
            XChangeProperty(dpy, req->requestor, prop, XA_ATOM, 32, PropModeReplace,
                            (const unsigned char*)list, 2);
            reply.xselection.property = prop;
        }
    }
    XSendEvent(dpy, req->requestor, False, NoEventMask, &reply);
    XFlush(dpy);
}

/* Waits for a client message of the given type from the target, answering
 * data requests meanwhile. */
static int waitXdnd(DropSource* s, Atom type, XClientMessageEvent* out, double deadline) {
    XEvent ev;
    while (nextEvent(&ev, deadline)) {
        if (ev.type == SelectionRequest) {
            answerSelectionRequest(s, &ev.xselectionrequest);
        } else if (ev.type == ClientMessage && ev.xclient.message_type == type) {
            /* Targets differ in what they put in the window field: not checked. */
            *out = ev.xclient;
            return 1;
        }
    }
    return 0;
}

static int cmdDrop(Window win, int count, char** uris) {
    DropSource s;
    memset(&s, 0, sizeof s);
#define ATOM(field, name) s.field = XInternAtom(dpy, name, False)
    ATOM(aSelection, "XdndSelection");
    ATOM(aEnter, "XdndEnter");
    ATOM(aPosition, "XdndPosition");
    ATOM(aStatus, "XdndStatus");
    ATOM(aDrop, "XdndDrop");
    ATOM(aLeave, "XdndLeave");
    ATOM(aFinished, "XdndFinished");
    ATOM(aCopy, "XdndActionCopy");
    ATOM(aUriList, "text/uri-list");
    ATOM(aTargets, "TARGETS");
    ATOM(aTypeList, "XdndTypeList");
    ATOM(aProxy, "XdndProxy");
#undef ATOM
    Atom aAware = XInternAtom(dpy, "XdndAware", False);

    XWindowAttributes attr;
    if (!windowExists(win, &attr)) return fail(exitFail, "no window 0x%lx", win);
    s.target = findWithProperty(win, aAware);
    if (s.target == None) return fail(exitFail, "window 0x%lx takes no drops (no XdndAware)", win);
    long version = (long)propertyValue(s.target, aAware, NULL);
    if (version > 5) version = 5;
    if (version < 3) return fail(exitFail, "window 0x%lx speaks XDND %ld only", s.target, version);
    s.deliver = s.target;
    Window proxy = (Window)propertyValue(s.target, s.aProxy, NULL);
    if (proxy && windowExists(proxy, NULL)) s.deliver = proxy;

    /* The URIs joined by CR LF, as text/uri-list wants. */
    size_t total = 0;
    for (int i = 0; i < count; ++i)
        total += strlen(uris[i]) + 2;
    char* payload = malloc(total + 1);
    if (!payload) return fail(exitFail, "out of memory");
    payload[0] = 0;
    for (int i = 0; i < count; ++i) {
        strcat(payload, uris[i]);
        strcat(payload, "\r\n");
    }
    s.payload = payload;
    s.payloadLen = strlen(payload);

    s.self = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), -10, -10, 1, 1, 0, 0, 0);
    Time t = serverTime(s.self);
    XChangeProperty(dpy, s.self, s.aTypeList, XA_ATOM, 32, PropModeReplace,
                    (const unsigned char*)&s.aUriList, 1);
    XSetSelectionOwner(dpy, s.aSelection, s.self, t);
    if (XGetSelectionOwner(dpy, s.aSelection) != s.self) {
        free(payload);
        return fail(exitFail, "could not own XdndSelection");
    }

    /* The pointer "enters" at the centre of the target's area. */
    int cx = 0, cy = 0;
    Window child;
    XWindowAttributes tattr;
    windowExists(s.target, &tattr);
    XTranslateCoordinates(dpy, s.target, DefaultRootWindow(dpy), tattr.width / 2, tattr.height / 2,
                          &cx, &cy, &child);

    double deadline = nowSeconds() + timeoutSeconds;
    sendXdnd(&s, s.aEnter, version << 24, (long)s.aUriList, None, None);
    sendXdnd(&s, s.aPosition, 0, ((long)cx << 16) | (cy & 0xFFFF), (long)t, (long)s.aCopy);
    XClientMessageEvent status;
    if (!waitXdnd(&s, s.aStatus, &status, deadline)) {
        sendXdnd(&s, s.aLeave, 0, 0, 0, 0);
        free(payload);
        return fail(exitTimeout, "no XdndStatus from 0x%lx", s.target);
    }
    if (!(status.data.l[1] & 1)) {
        sendXdnd(&s, s.aLeave, 0, 0, 0, 0);
        XSync(dpy, False);
        free(payload);
        return fail(exitRefused, "window 0x%lx refused the drop", s.target);
    }
    sendXdnd(&s, s.aDrop, 0, (long)t, 0, 0);
    XClientMessageEvent finished;
    int done = waitXdnd(&s, s.aFinished, &finished, deadline);
    free(payload);
    if (!done) return fail(exitTimeout, "no XdndFinished from 0x%lx", s.target);
    if (s.requests == 0)
        return fail(exitFail, "window 0x%lx finished without taking the data", s.target);
    /* Version 5 targets tell whether they used the data. */
    if (version >= 5 && !(finished.data.l[1] & 1))
        return fail(exitRefused, "window 0x%lx did not accept the dropped data", s.target);
    return exitOk;
}

/* ---- close --------------------------------------------------------------- */

static int takesDelete(Window w, Atom del) {
    Atom* protocols = NULL;
    int n = 0, found = 0;
    if (XGetWMProtocols(dpy, w, &protocols, &n)) {
        for (int i = 0; i < n; ++i)
            found |= protocols[i] == del;
        XFree(protocols);
    }
    return found;
}

static int cmdClose(Window win) {
    Atom protocolsAtom = XInternAtom(dpy, "WM_PROTOCOLS", False);
    Atom del = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    if (!windowExists(win, NULL)) return fail(exitFail, "no window 0x%lx", win);
    Window target = win;
    if (!takesDelete(win, del)) {
        /* A frame: the client below it holds WM_PROTOCOLS. */
        target = findWithProperty(win, protocolsAtom);
        if (target == None || !takesDelete(target, del))
            return fail(exitFail, "window 0x%lx does not take WM_DELETE_WINDOW", win);
    }
    Window own = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), -10, -10, 1, 1, 0, 0, 0);
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.display = dpy;
    ev.xclient.window = target;
    ev.xclient.message_type = protocolsAtom;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)del;
    ev.xclient.data.l[1] = (long)serverTime(own);
    lastXError = 0;
    XSendEvent(dpy, target, False, NoEventMask, &ev);
    XSync(dpy, False);
    if (lastXError) return fail(exitFail, "could not send to window 0x%lx", target);
    return exitOk;
}

/* ---- capture ------------------------------------------------------------- */

static int maskShift(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1))
        mask >>= 1, ++s;
    return s;
}

static unsigned char channel(unsigned long pixel, unsigned long mask) {
    if (!mask) return 0;
    unsigned long v = (pixel & mask) >> maskShift(mask);
    unsigned long max = mask >> maskShift(mask);
    return (unsigned char)(v * 255 / max);
}

static int writePng(const char* path, int w, int h, const unsigned char* rgb) {
    FILE* f = fopen(path, "wb");
    if (!f) return fail(exitFail, "cannot write %s: %s", path, strerror(errno));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png ? png_create_info_struct(png) : NULL;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        remove(path);
        return fail(exitFail, "PNG encoding of %s failed", path);
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, (png_uint_32)w, (png_uint_32)h, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y)
        png_write_row(png, (png_const_bytep)(rgb + (size_t)y * w * 3));
    png_write_end(png, NULL);
    png_destroy_write_struct(&png, &info);
    if (fclose(f) != 0) {
        remove(path);
        return fail(exitFail, "cannot write %s: %s", path, strerror(errno));
    }
    return exitOk;
}

static int capture(Window from, int x, int y, int w, int h, Visual* visual, const char* out) {
    if (w <= 0 || h <= 0) return fail(exitFail, "empty area %dx%d", w, h);
    lastXError = 0;
    XImage* img = XGetImage(dpy, from, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    XSync(dpy, False);
    if (!img || lastXError)
        return fail(exitFail, "cannot read %dx%d at %d,%d of 0x%lx (unmapped or off the screen?)",
                    w, h, x, y, from);
    unsigned long rm = img->red_mask ? img->red_mask : visual->red_mask;
    unsigned long gm = img->green_mask ? img->green_mask : visual->green_mask;
    unsigned long bm = img->blue_mask ? img->blue_mask : visual->blue_mask;
    unsigned char* rgb = malloc((size_t)w * h * 3);
    if (!rgb) {
        XDestroyImage(img);
        return fail(exitFail, "out of memory");
    }
    unsigned char* p = rgb;
    if (img->bits_per_pixel == 32 && rm == 0xFF0000 && gm == 0xFF00 && bm == 0xFF) {
        /* The usual 24-bit TrueColor screen: bytes straight from the rows. */
        int big = img->byte_order == MSBFirst;
        for (int yy = 0; yy < h; ++yy) {
            const unsigned char* row =
                (const unsigned char*)img->data + (size_t)yy * img->bytes_per_line;
            for (int xx = 0; xx < w; ++xx, row += 4) {
                *p++ = big ? row[1] : row[2];
                *p++ = big ? row[2] : row[1];
                *p++ = big ? row[3] : row[0];
            }
        }
    } else {
        for (int yy = 0; yy < h; ++yy)
            for (int xx = 0; xx < w; ++xx) {
                unsigned long px = XGetPixel(img, xx, yy);
                *p++ = channel(px, rm);
                *p++ = channel(px, gm);
                *p++ = channel(px, bm);
            }
    }
    XDestroyImage(img);
    int rc = exitOk;
    if (strcmp(out, "-") == 0) {
        printf("P6\n%d %d\n255\n", w, h);
        if (fwrite(rgb, 3, (size_t)w * h, stdout) != (size_t)w * h || fflush(stdout) != 0)
            rc = fail(exitFail, "cannot write the picture to stdout");
    } else {
        rc = writePng(out, w, h, rgb);
    }
    free(rgb);
    return rc;
}

static int cmdCapture(Window win, const char* out) {
    XWindowAttributes attr;
    if (!windowExists(win, &attr)) return fail(exitFail, "no window 0x%lx", win);
    if (attr.map_state != IsViewable) return fail(exitFail, "window 0x%lx is not shown", win);
    return capture(win, 0, 0, attr.width, attr.height, attr.visual, out);
}

static int cmdCaptureRoot(char** argv, const char* out) {
    int v[4];
    for (int i = 0; i < 4; ++i) {
        char* end = NULL;
        long n = strtol(argv[i], &end, 10);
        if (end == argv[i] || *end || n < 0 || n > 65535)
            return fail(exitFail, "bad number %s", argv[i]);
        v[i] = (int)n;
    }
    Window root = DefaultRootWindow(dpy);
    XWindowAttributes attr;
    XGetWindowAttributes(dpy, root, &attr);
    if (v[0] + v[2] > attr.width || v[1] + v[3] > attr.height)
        return fail(exitFail, "%dx%d at %d,%d lies outside the %dx%d screen", v[2], v[3], v[0],
                    v[1], attr.width, attr.height);
    return capture(root, v[0], v[1], v[2], v[3], attr.visual, out);
}

/* ---- geometry, keycode ----------------------------------------------------- */

static int cmdGeometry(Window win) {
    XWindowAttributes attr;
    if (!windowExists(win, &attr)) return fail(exitFail, "no window 0x%lx", win);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(dpy, win, attr.root, 0, 0, &x, &y, &child);
    printf("%d %d %d %d\n", x, y, attr.width, attr.height);
    return exitOk;
}

/* The root's child that holds the window: the window manager's frame, or the
 * window itself when nothing reparented it. */
static int cmdFrame(Window win) {
    if (!windowExists(win, NULL)) return fail(exitFail, "no window 0x%lx", win);
    for (;;) {
        Window root, parent, *kids = NULL;
        unsigned int n = 0;
        if (!XQueryTree(dpy, win, &root, &parent, &kids, &n))
            return fail(exitFail, "cannot walk up from 0x%lx", win);
        if (kids) XFree(kids);
        if (parent == root || parent == None) break;
        win = parent;
    }
    printf("%lu\n", win);
    return exitOk;
}

static int cmdKeycode(const char* name) {
    KeySym sym = XStringToKeysym(name);
    if (sym == NoSymbol) return fail(exitFail, "unknown keysym %s", name);
    KeyCode code = XKeysymToKeycode(dpy, sym);
    if (!code) return fail(exitFail, "keysym %s is not in the keymap", name);
    printf("%d\n", code);
    return exitOk;
}

/* Openbox takes the display (and announces itself) before it handles map
 * requests: a window mapped in between stays unmapped for good. Ready means a
 * trial window of ours really gets mapped. */
static int cmdWmReady(void) {
    double deadline = nowSeconds() + timeoutSeconds;
    while (nowSeconds() < deadline) {
        Window w = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 16, 16, 0, 0, 0);
        XStoreName(dpy, w, "xtool wm-ready");
        XSelectInput(dpy, w, StructureNotifyMask);
        XMapWindow(dpy, w);
        XFlush(dpy);
        double tryUntil = nowSeconds() + 0.5;
        if (tryUntil > deadline) tryUntil = deadline;
        XEvent ev;
        int mapped = 0;
        while (!mapped && nextEvent(&ev, tryUntil))
            mapped = ev.type == MapNotify;
        XDestroyWindow(dpy, w);
        XSync(dpy, False);
        if (mapped) return exitOk;
    }
    return fail(exitTimeout, "the window manager maps no window");
}

static int usage(void) {
    fputs("usage: xtool [-t SECONDS] drop WINDOW URI [URI...]\n"
          "       xtool [-t SECONDS] close WINDOW\n"
          "       xtool capture WINDOW OUT.png|-\n"
          "       xtool capture-root X Y W H OUT.png|-\n"
          "       xtool geometry WINDOW\n"
          "       xtool frame WINDOW\n"
          "       xtool keycode KEYSYM\n"
          "       xtool [-t SECONDS] wm-ready\n",
          stderr);
    return exitFail;
}

int main(int argc, char** argv) {
    int a = 1;
    if (a + 1 < argc && strcmp(argv[a], "-t") == 0) {
        char* end = NULL;
        timeoutSeconds = strtod(argv[a + 1], &end);
        if (end == argv[a + 1] || *end || !(timeoutSeconds > 0)) return usage();
        a += 2;
    }
    if (a >= argc) return usage();
    const char* cmd = argv[a++];
    int rest = argc - a;
    char** args = argv + a;

    dpy = XOpenDisplay(NULL);
    if (!dpy) return fail(exitFail, "cannot open display %s", XDisplayName(NULL));
    XSetErrorHandler(onXError);

    int rc;
    Window win = None;
    if (strcmp(cmd, "capture-root") == 0) {
        rc = rest == 5 ? cmdCaptureRoot(args, args[4]) : usage();
    } else if (strcmp(cmd, "wm-ready") == 0) {
        rc = rest == 0 ? cmdWmReady() : usage();
    } else if (strcmp(cmd, "keycode") == 0) {
        rc = rest == 1 ? cmdKeycode(args[0]) : usage();
    } else if (rest < 1) {
        rc = usage();
    } else if (!parseWindow(args[0], &win)) {
        rc = fail(exitFail, "bad window id %s", args[0]);
    } else if (strcmp(cmd, "drop") == 0) {
        rc = rest >= 2 ? cmdDrop(win, rest - 1, args + 1) : usage();
    } else if (strcmp(cmd, "close") == 0) {
        rc = rest == 1 ? cmdClose(win) : usage();
    } else if (strcmp(cmd, "capture") == 0) {
        rc = rest == 2 ? cmdCapture(win, args[1]) : usage();
    } else if (strcmp(cmd, "frame") == 0) {
        rc = rest == 1 ? cmdFrame(win) : usage();
    } else if (strcmp(cmd, "geometry") == 0) {
        rc = rest == 1 ? cmdGeometry(win) : usage();
    } else {
        rc = usage();
    }
    XCloseDisplay(dpy);
    return rc;
}
