/* xprobe: a plain Xlib window that the window tools are tried against. It
 * paints four vertical colour bands, takes XDND drops of text/uri-list (or
 * refuses them with --refuse), and reports on stdout, one line each:
 *   ready                 mapped and painted once
 *   key press N / key release N      X keycode N
 *   drop URI              one line per dropped URI
 *   leave                 the source left without dropping
 *   close                 WM_DELETE_WINDOW arrived; exits 0
 * usage: xprobe [--refuse] TITLE */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { probeWidth = 200, probeHeight = 120 };
static const unsigned long bandColours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456};

static unsigned long pixelOf(Visual* v, unsigned long rgb) {
    unsigned long out = 0;
    unsigned long masks[3] = {v->red_mask, v->green_mask, v->blue_mask};
    for (int c = 0; c < 3; ++c) {
        unsigned long m = masks[c], shift = 0, value = (rgb >> (16 - 8 * c)) & 0xFF;
        if (!m) continue;
        while (!(m & 1))
            m >>= 1, ++shift;
        out |= (value * m / 255) << shift;
    }
    return out;
}

static void paint(Display* dpy, Window w, GC gc, Visual* v) {
    for (int b = 0; b < 4; ++b) {
        XSetForeground(dpy, gc, pixelOf(v, bandColours[b]));
        XFillRectangle(dpy, w, gc, b * probeWidth / 4, 0, probeWidth / 4, probeHeight);
    }
}

/* Prints each URI of a text/uri-list (CR LF separated; comments skipped). */
static void printUris(const char* data, size_t len) {
    size_t i = 0;
    while (i < len) {
        size_t j = i;
        while (j < len && data[j] != '\r' && data[j] != '\n')
            ++j;
        if (j > i && data[i] != '#') printf("drop %.*s\n", (int)(j - i), data + i);
        i = j + 1;
    }
}

int main(int argc, char** argv) {
    int refuse = 0;
    int a = 1;
    if (a < argc && strcmp(argv[a], "--refuse") == 0) refuse = 1, ++a;
    if (a != argc - 1) {
        fputs("usage: xprobe [--refuse] TITLE\n", stderr);
        return 1;
    }
    setvbuf(stdout, NULL, _IOLBF, 0);
    Display* dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fputs("xprobe: cannot open display\n", stderr);
        return 1;
    }
    int screen = DefaultScreen(dpy);
    Visual* visual = DefaultVisual(dpy, screen);
    Window w =
        XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 10, 10, probeWidth, probeHeight, 0, 0, 0);
    XStoreName(dpy, w, argv[a]);
    XSizeHints hints = {.flags = PMinSize | PMaxSize,
                        .min_width = probeWidth,
                        .max_width = probeWidth,
                        .min_height = probeHeight,
                        .max_height = probeHeight};
    XSetWMNormalHints(dpy, w, &hints);
    Atom wmDelete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    Atom wmProtocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
    XSetWMProtocols(dpy, w, &wmDelete, 1);
    Atom aAware = XInternAtom(dpy, "XdndAware", False);
    Atom aEnter = XInternAtom(dpy, "XdndEnter", False);
    Atom aPosition = XInternAtom(dpy, "XdndPosition", False);
    Atom aStatus = XInternAtom(dpy, "XdndStatus", False);
    Atom aLeave = XInternAtom(dpy, "XdndLeave", False);
    Atom aDrop = XInternAtom(dpy, "XdndDrop", False);
    Atom aFinished = XInternAtom(dpy, "XdndFinished", False);
    Atom aSelection = XInternAtom(dpy, "XdndSelection", False);
    Atom aCopy = XInternAtom(dpy, "XdndActionCopy", False);
    Atom aUriList = XInternAtom(dpy, "text/uri-list", False);
    Atom aTypeList = XInternAtom(dpy, "XdndTypeList", False);
    Atom aData = XInternAtom(dpy, "XPROBE_DROP", False);
    long version = 5;
    XChangeProperty(dpy, w, aAware, XA_ATOM, 32, PropModeReplace, (unsigned char*)&version, 1);
    XSelectInput(dpy, w, ExposureMask | KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    GC gc = XCreateGC(dpy, w, 0, NULL);
    XMapWindow(dpy, w);

    int ready = 0, offered = 0;
    Window source = None;
    for (;;) {
        XEvent ev;
        XNextEvent(dpy, &ev);
        switch (ev.type) {
        case Expose:
            paint(dpy, w, gc, visual);
            XSync(dpy, False);
            if (!ready && ev.xexpose.count == 0) ready = 1, printf("ready\n");
            break;
        case KeyPress: printf("key press %u\n", ev.xkey.keycode); break;
        case KeyRelease: printf("key release %u\n", ev.xkey.keycode); break;
        case SelectionNotify: {
            int ok = 0;
            if (ev.xselection.property != None) {
                Atom type;
                int format;
                unsigned long count, after;
                unsigned char* data = NULL;
                if (XGetWindowProperty(dpy, w, aData, 0, 1 << 20, True, AnyPropertyType, &type,
                                       &format, &count, &after, &data) == Success &&
                    data && format == 8) {
                    printUris((const char*)data, count);
                    ok = 1;
                }
                if (data) XFree(data);
            }
            XClientMessageEvent m = {.type = ClientMessage,
                                     .display = dpy,
                                     .window = source,
                                     .message_type = aFinished,
                                     .format = 32};
            m.data.l[0] = (long)w;
            m.data.l[1] = ok;
            m.data.l[2] = ok ? (long)aCopy : 0;
            XSendEvent(dpy, source, False, NoEventMask, (XEvent*)&m);
            XFlush(dpy);
            source = None;
            break;
        }
        case ClientMessage: {
            XClientMessageEvent* c = &ev.xclient;
            if (c->message_type == wmProtocols && (Atom)c->data.l[0] == wmDelete) {
                printf("close\n");
                XCloseDisplay(dpy);
                return 0;
            } else if (c->message_type == aEnter) {
                source = (Window)c->data.l[0];
                offered = 0;
                if (c->data.l[1] & 1) { /* more than three types: read the list */
                    Atom type;
                    int format;
                    unsigned long count = 0, after;
                    unsigned char* data = NULL;
                    XGetWindowProperty(dpy, source, aTypeList, 0, 64, False, XA_ATOM, &type,
                                       &format, &count, &after, &data);
                    for (unsigned long i = 0; data && i < count; ++i)
                        offered |= ((Atom*)data)[i] == aUriList;
                    if (data) XFree(data);
                } else {
                    for (int i = 2; i < 5; ++i)
                        offered |= (Atom)c->data.l[i] == aUriList;
                }
            } else if (c->message_type == aPosition) {
                XClientMessageEvent m = {.type = ClientMessage,
                                         .display = dpy,
                                         .window = source,
                                         .message_type = aStatus,
                                         .format = 32};
                m.data.l[0] = (long)w;
                m.data.l[1] = offered && !refuse;
                m.data.l[4] = m.data.l[1] ? (long)aCopy : 0;
                XSendEvent(dpy, source, False, NoEventMask, (XEvent*)&m);
                XFlush(dpy);
            } else if (c->message_type == aLeave) {
                printf("leave\n");
                source = None;
            } else if (c->message_type == aDrop) {
                XConvertSelection(dpy, aSelection, aUriList, aData, w, (Time)c->data.l[2]);
                XFlush(dpy);
            }
            break;
        }
        default: break;
        }
    }
}
