// The host seam: everything the machine and the presentation need from the
// platform, as one record of function pointers chosen at start-up. The
// headless host, the SDL window host and the Win32 host each fill it; the
// driver's frame loop is the same for all of them.
#pragma once

#include <atomic>
#include <cstdint>

struct BackBufferLock {
    uint32_t* pixels; // first pixel of the whole surface, 0x00RRGGBB
    int32_t pitch;    // row length in bytes
};

struct HostOps {
    // Locks the whole back buffer; false when the lock fails (the frame's
    // drawing is then skipped).
    bool (*lockBackBuffer)(BackBufferLock* lock);
    void (*unlockBackBuffer)();
    // Fills the whole back buffer with black.
    void (*clearBackBuffer)();
    // Sizes the window's client area (already resolved by resizeClient, no
    // zeros) and applies the full-screen flag.
    void (*sizeClient)(uint32_t width, uint32_t height);
    // Makes the window visible before the first frame.
    void (*showWindow)();
    // Waits for the display, presents the frame, services window messages.
    void (*pacingStep)();
    void (*muteAudio)();
    // Writes a PNG of width x height pixels whose rows are pitch bytes apart;
    // false when the file could not be written.
    bool (*encodePng)(const char* path, const uint32_t* pixels, uint32_t width, uint32_t height,
                      int32_t pitch);
    // True when a file or directory of that name exists.
    bool (*fileExists)(const char* path);
    // Shows the message, releases the host and ends the process with exit
    // code 1. Never returns (a test host may throw instead).
    void (*fatalError)(const char* message);
    // Releases the host and ends the process with exit code 0. Never returns.
    void (*shutdownAndExit)();
    // One console line (or part of one), written at once.
    void (*consoleOut)(const char* text);
};

extern HostOps host;

// A host whose back buffer is plain memory that keeps what was drawn into it
// sets backBufferKeepsPicture, and counts in backBufferResets every clear or
// replacement of its contents. Composition then redoes only the lines whose
// picture changed since the last frame.
extern bool backBufferKeepsPicture;
extern uint32_t backBufferResets;

// The back buffer in plain memory that the headless, window and page hosts
// share: screenWidth x screenHeight pixels that keep what is drawn into
// them. sizeMemoryBackBuffer makes it, black, at the current screen size.
void sizeMemoryBackBuffer();
bool lockMemoryBackBuffer(BackBufferLock* lock);
void unlockMemoryBackBuffer();
void clearMemoryBackBuffer();

// printf to the host console.
// MinGW builds use its C99 stdio (__USE_MINGW_ANSI_STDIO), checked as GNU formats.
#ifdef __MINGW32__
void consolePrintf(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
void consolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif

// Back buffer size: the display size, at least 1280 x 960.
constexpr uint32_t minimumScreenWidth = 1280;
constexpr uint32_t minimumScreenHeight = 960;
// The largest back buffer asked for on the command line: 256 MiB of pixels,
// beyond any display's size and within the textures window hosts can make.
constexpr uint32_t maximumScreenWidth = 8192;
constexpr uint32_t maximumScreenHeight = 8192;
extern uint32_t screenWidth;
extern uint32_t screenHeight;

// Top-left pixel of a width x height picture centred in the locked back
// buffer; presentation and screenshots use the same origin.
uint32_t* centredOrigin(const BackBufferLock& lock, uint32_t width, uint32_t height);

// Last requested client size (set by resizeClient); the picture the
// presentation writes and the size of a screenshot.
extern uint32_t clientWidth;
extern uint32_t clientHeight;
// A window's client area (and the page's canvas) is one row taller than the
// picture it shows, 769 for 768, the row below the picture black.
constexpr uint32_t clientAreaHeight(uint32_t pictureHeight) { return pictureHeight + 1; }

// Key arrays indexed by key code (scan code set 1 make code, + 0x80 for
// E0-prefixed keys); a key is down when bit 7 of its entry is set.
//
// The live keys, the capture flag and Pause's hold are shared with the thread
// that records the keyboard (the Windows program's hook runs on one of its
// own), so they are atomics; the frame loop reads them relaxed, which costs
// nothing over plain loads on x86. keysNow and keysPrev belong to the frame
// loop alone.
extern std::atomic<uint8_t> liveKeys[256];
extern uint8_t keysNow[256];
extern uint8_t keysPrev[256];
// True while the window has the keyboard focus; without it every snapshot
// reads all keys up.
extern std::atomic<bool> keyboardCaptured;
// Snapshots Pause is still to show down in. The keyboard never reports its
// release, so a press shows in five snapshots; this count is the whole of
// Pause's state (its entry in liveKeys is not used), so a press and the
// snapshot's countdown meet on one atomic and no press is lost.
extern std::atomic<uint8_t> pauseHoldFrames;

void saveKeysPrev();
void snapshotKeys();
// Releases every key the keyboard holds down, Pause's hold included.
void releaseAllKeys();
// Records a Pause press on the frame loop's own thread.
void pressPause();
// Records one key event from the thread that reads the keyboard while it is
// captured: false, and nothing recorded, when it is not. A press that meets a
// focus loss halfway is taken back, so no key stays down once the focus has
// gone; Pause's release is never recorded.
bool recordCapturedKey(uint8_t code, bool down);

// A dropped file waiting for the driver; drops are refused while one waits.
constexpr int dropPathSize = 1000;
extern bool dropPending;
extern char dropPath[dropPathSize];
// Accepts a drop when none is pending; false when refused or the path does
// not fit (at most dropPathSize - 1 characters: a cut path could name another
// file, so a longer one is refused with a console message).
bool acceptDrop(const char* path);

// Full-screen flag, toggled by the driver's hot key.
extern bool fullScreen;

// Saves the presented picture (the last requested client size, centred in the
// back buffer) as the first free "ScreenShot_%03d.png"; the number never goes
// back. Prints "Saving <name>" only when the file was written, otherwise
// "Can't save <name>".
extern int32_t screenshotNumber;
void takeScreenshot();
