// The driver's start-up hook (window shown at the size of the first scale
// preset, sound muted) and its end-of-frame hook (draw, present, pace).
#include "machines/tiamc/tiamc.h"

#include "display/present.h"
#include "host/host.h"

void prepareHost() {
    host.muteAudio();
    host.showWindow();
    resizeClient(960, 768);
}

// A failed back-buffer lock skips the drawing only; pacing still runs, so the
// frame rate stays locked to the display.
void endFrame() {
    composeFrame(renderFrame);
    host.pacingStep();
}
