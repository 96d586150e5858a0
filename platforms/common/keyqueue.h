// Key events gathered between two frames. A press and release that both come
// before the next snapshot would never be seen by the game, and a second tap
// of the same key in the next frame would show no edge; so each key changes
// at most once per frame, and later events wait their turn, in order.
#pragma once

#include <cstdint>

// Queues a key event of the keyboard; Pause's release is never recorded
// (its press holds for five snapshots).
void queueKeyEvent(uint8_t code, bool down);
// No event waits longer than this many frames: one that has waited so long
// is applied even where its key changed in the same frame.
constexpr uint32_t maxKeyDelayFrames = 4;
// Applies the queued events to liveKeys in order, up to the first that would
// change a key already changed by this call; the rest wait for the next
// frame, at most maxKeyDelayFrames frames in all. True when a key went down.
bool applyKeyEvents();
// Forgets every queued event (the keyboard was released).
void clearKeyEvents();
// The window gained or lost the keyboard. Losing it releases every key and
// forgets the queued events: the host hears nothing while another window has
// the focus, so a key let go meanwhile would otherwise stay down in the game.
void setKeyboardFocus(bool focused);
