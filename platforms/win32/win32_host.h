// The Windows host: a Win32 window shown through DirectDraw, a silent
// DirectSound ring, a low-level keyboard hook on a thread of its own and GDI+
// for screenshots. WinMain (app/win32_main.cpp) runs the start-up steps in
// order through the functions below and then hands over to the TIA-MC driver.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <mmsystem.h>

#include <ddraw.h>
#include <dsound.h>

#include <cstdint>

extern HINSTANCE hostInstance;
extern char windowTitle[256];
extern HWND mainWindow;
extern LPDIRECTDRAW directDraw;
extern LPDIRECTDRAWSURFACE primarySurface;
extern LPDIRECTDRAWSURFACE backBuffer;
extern LPDIRECTDRAWCLIPPER clipper;
extern LPDIRECTSOUND directSound;
extern LPDIRECTSOUNDBUFFER primarySoundBuffer;
extern LPDIRECTSOUNDBUFFER audioRing;
extern LARGE_INTEGER qpcFrequency;
extern HANDLE hostProcess;
extern HANDLE hostThread;
extern char startDirectory[1024];
extern uint8_t cpuMode;

// Console: a new console bound to the standard streams, unless the standard
// output already goes to a file or a pipe, which is kept. Streams unbuffered.
bool setUpConsole();
void logCpuMode();

// Fills the host record with the Win32 operations, and the state store.
void installWin32Host();
// State slots as files in states\<hash>\ beside the screenshots.
void installWin32StateStore();
// Registers the window class and creates the hidden main window.
void createMainWindow();
// DirectDraw object, primary surface with its clipper, back buffer cleared
// to black; fatal on failure.
void createDisplay();
LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The keyboard hook thread's start routine.
DWORD WINAPI hookThreadMain(LPVOID);
void startHookThread();

// DirectSound device, primary buffer and the silent looping AudioRing.
void openAudioStream();
void muteAudio();
// AudioRing's play cursor in bytes; false when it cannot be read.
bool audioPlayPosition(uint32_t* bytes);

// The display's raster line; false when it cannot be read.
bool displayScanLine(uint32_t* line);
bool displayModeHeight(uint32_t* lines);
// The display driver's nominal rate into monitorHz.
void readMonitorFrequency();
// Measures the display once at start-up, prints the report and chooses how
// the pacing step waits for the next refresh.
void measureDisplay();
// What the window procedure saw of the display since the last frame; the
// pacing step then makes its choice again when the window is on another
// monitor than it was made for, or always after a display mode change.
enum class DisplayCheck : uint8_t { none, moved, modeChanged };
extern DisplayCheck displayCheck;
void pacingStep();
// The monitor's idle step while it holds the machine: the last picture shown
// again, the window's messages handled, about a frame's wait.
void monitorIdle();
// Reads the monitor's commands from standard input on a thread of its own and
// fills the monitor's console; without a standard input the monitor stays
// off.
void startMonitorConsole();

// PNG through GDI+.
int findEncoderClsid(const wchar_t* mimeType, CLSID* clsid);
bool encodePngWithGdiPlus(const char* path, const uint32_t* pixels, uint32_t width, uint32_t height,
                          int32_t pitch);

[[noreturn]] void win32FatalError(const char* message);
[[noreturn]] void win32ShutdownAndExit();
// Microseconds on the performance counter.
uint64_t performanceMicros();
