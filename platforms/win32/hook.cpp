// The keyboard hook thread: two low-level hooks and a message loop. While the
// window has the keyboard, each key event is recorded for the emulation and
// the lock keys, Left Windows and Applications are kept from the desktop.
#include "platforms/win32/win32_host.h"

#include "platforms/win32/hookkeys.h"
#include "platforms/win32/lockkeys.h"

namespace {
HHOOK keyboardHook;
HHOOK mouseHook;

LRESULT CALLBACK keyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code != HC_ACTION) return CallNextHookEx(keyboardHook, code, wParam, lParam);
    const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (recordHookedKey(event->vkCode, event->flags & 0xFF)) return 1;
    return CallNextHookEx(keyboardHook, code, wParam, lParam);
}

LRESULT CALLBACK mouseHookProc(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(mouseHook, code, wParam, lParam);
}

bool lockKeyOn(uint8_t virtualKey) { return (GetKeyState(virtualKey) & 1) != 0; }

// Synthesized presses are marked injected; the hook passes them on unrecorded.
void toggleLockKey(uint8_t virtualKey) {
    keybd_event(virtualKey, 0, KEYEVENTF_EXTENDEDKEY, 0);
    keybd_event(virtualKey, 0, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
}
} // namespace

DWORD WINAPI hookThreadMain(LPVOID) {
    keyboardHook = SetWindowsHookExA(WH_KEYBOARD_LL, keyboardHookProc, hostInstance, 0);
    mouseHook = SetWindowsHookExA(WH_MOUSE_LL, mouseHookProc, hostInstance, 0);
    MSG message;
    for (;;) {
        GetMessageA(&message, nullptr, 0, 0);
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (message.message == WM_QUIT) break;
    }
    UnhookWindowsHookEx(mouseHook);
    UnhookWindowsHookEx(keyboardHook);
    return 0;
}

void startHookThread() {
    lockKeyOps = LockKeyOps{lockKeyOn, toggleLockKey};
    HANDLE thread = CreateThread(nullptr, 0, hookThreadMain, nullptr, 0, nullptr);
    if (!thread) win32FatalError("Can't create hook thread!");
}
