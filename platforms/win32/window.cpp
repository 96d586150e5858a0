// The main window, its procedure, the DirectDraw surfaces it shows, and the
// single way out of the process.
#include "platforms/win32/win32_host.h"

#include "host/host.h"
#include "platforms/win32/lockkeys.h"

#include <shellapi.h>

#include <cstdio>

HINSTANCE hostInstance;
char windowTitle[256];
HWND mainWindow;
LPDIRECTDRAW directDraw;
LPDIRECTDRAWSURFACE primarySurface;
LPDIRECTDRAWSURFACE backBuffer;
LPDIRECTDRAWCLIPPER clipper;
LARGE_INTEGER qpcFrequency;
HANDLE hostProcess;
HANDLE hostThread;
char startDirectory[1024];

// Set by the pacing step when a new picture waits in the back buffer.
volatile LONG frameReady;
DisplayCheck displayCheck;

namespace {
constexpr int windowIcon = 138;
constexpr int initialWidth = 648;
constexpr int initialHeight = 584;

// The windowed placement saved on entering full screen.
struct Placement {
    int32_t left, top, width, height;
};
Placement savedPlacement;

[[noreturn]] void fatalIf(HRESULT result, const char* message) {
    (void)result;
    win32FatalError(message);
}

void releaseAll() {
    if (directSound) {
        if (audioRing) audioRing->Release();
        audioRing = nullptr;
        if (primarySoundBuffer) primarySoundBuffer->Release();
        primarySoundBuffer = nullptr;
        directSound->Release();
        directSound = nullptr;
    }
    if (directDraw) {
        if (backBuffer) backBuffer->Release();
        backBuffer = nullptr;
        if (primarySurface) primarySurface->Release();
        primarySurface = nullptr;
        directDraw->Release();
        directDraw = nullptr;
    }
    if (mainWindow) DestroyWindow(mainWindow);
}

// Copies the centred client-size rectangle of the back buffer to the screen.
void paintFrame(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const LONG w = client.right, h = client.bottom;
    RECT source;
    source.left = static_cast<LONG>(screenWidth / 2) - w / 2;
    source.top = static_cast<LONG>(screenHeight / 2) - h / 2;
    source.right = source.left + w;
    source.bottom = source.top + h;
    RECT destination{origin.x, origin.y, origin.x + w, origin.y + h};
    DDBLTFX effects{};
    effects.dwSize = sizeof effects;
    const HRESULT result = primarySurface->Blt(&destination, backBuffer, &source, 0, &effects);
    if (result == DDERR_SURFACELOST) primarySurface->Restore();
}

// Lets the default frame painting draw only outside the client area.
void paintNonClient(HWND window, WPARAM wParam, LPARAM lParam) {
    HRGN update;
    bool created = false;
    if (wParam == 1) {
        RECT bounds;
        GetWindowRect(window, &bounds);
        update = CreateRectRgnIndirect(&bounds);
        created = true;
    } else {
        update = reinterpret_cast<HRGN>(wParam);
    }
    HRGN outside = CreateRectRgn(0, 0, 0, 0);
    RECT client;
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    HRGN clientRegion =
        CreateRectRgn(origin.x, origin.y, origin.x + client.right, origin.y + client.bottom);
    const int kind = CombineRgn(outside, update, clientRegion, RGN_DIFF);
    DeleteObject(clientRegion);
    if (kind != NULLREGION) {
        DefWindowProcA(window, WM_NCPAINT, reinterpret_cast<WPARAM>(outside), lParam);
    }
    if (created) DeleteObject(update);
    DeleteObject(outside);
}

void takeDrop(HDROP drop) {
    if (!dropPending) {
        char path[dropPathSize + 1];
        // One character more than a drop path holds, so that a longer path
        // is seen and refused rather than cut into another file's name.
        const UINT length = DragQueryFileA(drop, 0, nullptr, 0);
        if (length < sizeof path) {
            DragQueryFileA(drop, 0, path, sizeof path);
            acceptDrop(path);
        } else {
            consolePrintf("Dropped file ignored: its path has %u characters, at most %d fit\n",
                          length, dropPathSize - 1);
        }
    }
    DragFinish(drop);
}

void clearSurface() {
    DDBLTFX effects{};
    effects.dwSize = sizeof effects;
    effects.dwFillColor = 0;
    backBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &effects);
}

bool lockBackBuffer(BackBufferLock* lock) {
    DDSURFACEDESC description{};
    description.dwSize = sizeof description;
    const HRESULT result =
        backBuffer->Lock(nullptr, &description, DDLOCK_WAIT | DDLOCK_NOSYSLOCK, nullptr);
    if (result == DDERR_SURFACELOST) {
        // Video memory is lost on a display mode change or a locked desktop;
        // without a restore every later lock would fail and the picture
        // would stay frozen. This frame is skipped, the next one draws.
        if (SUCCEEDED(backBuffer->Restore())) clearSurface();
        return false;
    }
    if (FAILED(result)) return false;
    lock->pixels = static_cast<uint32_t*>(description.lpSurface);
    lock->pitch = description.lPitch;
    return true;
}

void unlockBackBuffer() { backBuffer->Unlock(nullptr); }

// The window size for a client size, with the window's own frame.
void sizeClient(uint32_t width, uint32_t height) {
    WINDOWINFO info{};
    info.cbSize = sizeof info;
    GetWindowInfo(mainWindow, &info);
    const int32_t windowWidth = static_cast<int32_t>(width) +
                                (info.rcWindow.right - info.rcWindow.left) -
                                (info.rcClient.right - info.rcClient.left);
    const int32_t windowHeight = static_cast<int32_t>(clientAreaHeight(height)) +
                                 (info.rcWindow.bottom - info.rcWindow.top) -
                                 (info.rcClient.bottom - info.rcClient.top);
    const bool popUp = (info.dwStyle & WS_POPUP) != 0;
    if (fullScreen) {
        if (popUp) return;
        savedPlacement =
            Placement{info.rcWindow.left, info.rcWindow.top, windowWidth, windowHeight};
        SetWindowLongPtrA(mainWindow, GWL_STYLE, static_cast<LONG_PTR>(WS_POPUP | WS_VISIBLE));
        SetWindowPos(mainWindow, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                     GetSystemMetrics(SM_CYSCREEN), SWP_NOCOPYBITS | SWP_FRAMECHANGED);
    } else if (popUp) {
        SetWindowLongPtrA(mainWindow, GWL_STYLE,
                          static_cast<LONG_PTR>(WS_VISIBLE | WS_OVERLAPPEDWINDOW));
        SetWindowPos(mainWindow, HWND_NOTOPMOST, savedPlacement.left, savedPlacement.top,
                     savedPlacement.width, savedPlacement.height, SWP_NOCOPYBITS);
    } else if (info.rcClient.left != 0) {
        SetWindowPos(mainWindow, nullptr, 0, 0, windowWidth, windowHeight,
                     SWP_NOCOPYBITS | SWP_NOZORDER | SWP_NOMOVE);
    }
}

void showMainWindow() {
    ShowWindow(mainWindow, SW_SHOW);
    UpdateWindow(mainWindow);
}

bool fileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void consoleOut(const char* text) { std::fputs(text, stdout); }
} // namespace

void createMainWindow() {
    WNDCLASSA windowClass{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = hostInstance;
    windowClass.hIcon = LoadIconA(hostInstance, MAKEINTRESOURCEA(windowIcon));
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = windowTitle;
    RegisterClassA(&windowClass);
    mainWindow =
        CreateWindowExA(0, windowTitle, windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                        initialWidth, initialHeight, nullptr, nullptr, hostInstance, nullptr);
}

void createDisplay() {
    HRESULT result = DirectDrawCreate(nullptr, &directDraw, nullptr);
    if (FAILED(result)) fatalIf(result, "Can't create DirectDraw Intterface!");
    result = directDraw->SetCooperativeLevel(mainWindow, DDSCL_NORMAL);
    if (FAILED(result)) fatalIf(result, "Can't set DirectDraw Cooperative Level!");
    DDSURFACEDESC mode{};
    mode.dwSize = sizeof mode;
    result = directDraw->GetDisplayMode(&mode);
    if (FAILED(result)) fatalIf(result, "Can't get Display Parameters!");
    std::printf("Screen size: %dx%d\n", static_cast<int>(mode.dwWidth),
                static_cast<int>(mode.dwHeight));
    // Presentation writes 32-bit pixels; another depth would show garbage.
    if ((mode.dwFlags & DDSD_PIXELFORMAT) && mode.ddpfPixelFormat.dwRGBBitCount != 32) {
        char message[128];
        std::snprintf(message, sizeof message,
                      "The display has %d bits per pixel; Korvalo needs 32. Set the display "
                      "to 32-bit colour and start again.",
                      static_cast<int>(mode.ddpfPixelFormat.dwRGBBitCount));
        win32FatalError(message);
    }
    screenWidth = mode.dwWidth > minimumScreenWidth ? mode.dwWidth : minimumScreenWidth;
    screenHeight = mode.dwHeight > minimumScreenHeight ? mode.dwHeight : minimumScreenHeight;

    DDSURFACEDESC primary{};
    primary.dwSize = sizeof primary;
    primary.dwFlags = DDSD_CAPS;
    primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    result = directDraw->CreateSurface(&primary, &primarySurface, nullptr);
    if (FAILED(result)) fatalIf(result, "Can't create Primary Surface!");
    DDSURFACEDESC back{};
    back.dwSize = sizeof back;
    back.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    back.dwWidth = screenWidth;
    back.dwHeight = screenHeight;
    back.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
    result = directDraw->CreateSurface(&back, &backBuffer, nullptr);
    if (FAILED(result)) fatalIf(result, "Can't create Back-Buffer Surface!");
    result = directDraw->CreateClipper(0, &clipper, nullptr);
    if (FAILED(result)) fatalIf(result, "Can't create Clipper!");
    result = clipper->SetHWnd(0, mainWindow);
    if (FAILED(result)) fatalIf(result, "Can't attach Window to Clipper!");
    result = primarySurface->SetClipper(clipper);
    if (FAILED(result)) fatalIf(result, "Can't attach Clipper!");
    clearSurface();
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETFOCUS: enterKeyboardCapture(); break;
    case WM_KILLFOCUS: leaveKeyboardCapture(); break;
    case WM_DROPFILES: takeDrop(reinterpret_cast<HDROP>(wParam)); break;
    // Moved (WM_MOVE follows from the default handling), possibly onto
    // another monitor, or the display mode changed: the pacing step follows
    // once the messages are handled.
    case WM_WINDOWPOSCHANGED:
        if (displayCheck == DisplayCheck::none) displayCheck = DisplayCheck::moved;
        break;
    case WM_DISPLAYCHANGE: displayCheck = DisplayCheck::modeChanged; break;
    case WM_PAINT: {
        if (InterlockedExchange(&frameReady, 0)) paintFrame(window);
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_NCPAINT: paintNonClient(window, wParam, lParam); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SYNCPAINT: return 0;
    case WM_SYSKEYDOWN: return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void installWin32Host() {
    host = HostOps{lockBackBuffer,  unlockBackBuffer,     clearSurface,
                   sizeClient,      showMainWindow,       pacingStep,
                   muteAudio,       encodePngWithGdiPlus, fileExists,
                   win32FatalError, win32ShutdownAndExit, consoleOut};
    installWin32StateStore();
}

void win32ShutdownAndExit() {
    releaseAll();
    ExitProcess(0);
}

// A fatal error ends the process with exit code 1, so that scripts and the
// shell see the failure.
void win32FatalError(const char* message) {
    std::printf("System Error! %s\n", message);
    MessageBoxA(nullptr, message, "System Error!", MB_ICONERROR);
    releaseAll();
    ExitProcess(1);
}

uint64_t performanceMicros() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const uint64_t ticks = static_cast<uint64_t>(now.QuadPart);
    const uint64_t frequency = static_cast<uint64_t>(qpcFrequency.QuadPart);
    return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}
