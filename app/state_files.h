// The state files of --load-state and --save-state.
#pragma once

#include "app/options.h"

#include <cstdint>

// Once the machine has started, before its first frame: loads the state of
// --load-state, if any. One that cannot be read or loaded is a fatal error,
// "Can't load state: <reason>". With takeHeldKeys (the headless runner, whose
// keyboard is the key script) the keys the state shows down are held down
// in the live keys, so that the run goes on as the one the state was saved
// from did until the script releases them.
void loadStartState(const Options& options, bool takeHeldKeys);

// Writes the states --save-state asks for at this frame, in the order given.
// One that cannot be written is a fatal error, "Can't save state to <path>:
// <reason>", the file at path left as it was.
void saveStatesAtFrame(uint32_t frame);
