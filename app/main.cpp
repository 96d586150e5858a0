// The korvalo program: reads the command line, starts the chosen host and
// hands over to the TIA-MC driver, which never returns.
#include "app/options.h"
#include "app/recording_files.h"
#include "app/state_files.h"
#include "platforms/headless/headless.h"
#ifdef KORVALO_HAVE_SDL
#include "platforms/sdl/sdl_host.h"
#endif
#include "host/host.h"
#include "machines/tiamc/monitor.h"
#include "machines/tiamc/tiamc.h"
#include "platforms/common/script.h"
#include "platforms/common/terminal.h"
#include "platforms/common/version.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
uint32_t frameLimit;

// Runs the script at the end of every frame and ends the run after the last
// frame asked for.
void atFrameEnd(uint32_t framesRun) {
    applyScriptEvents(framesRun);
    saveStatesAtFrame(framesRun);
    if (framesRun == frameLimit) host.shutdownAndExit();
}

void startHeadless(const Options& options) {
    startHeadlessHost(options.screenWidth, options.screenHeight, atFrameEnd);
    monitorConsole = MonitorConsole{waitTerminalLine, nullptr};
}

#ifdef KORVALO_HAVE_SDL
PresentWay presentWay(const std::string& name) {
    if (name == "surface") return PresentWay::surface;
    if (name == "software") return PresentWay::software;
    if (name == "accelerated") return PresentWay::accelerated;
    return PresentWay::automatic;
}

void startWindow(const Options& options) {
    startSdlHost(SdlHostConfig{options.screenWidth, options.screenHeight,
                               presentWay(options.present), atFrameEnd});
    monitorConsole = MonitorConsole{pollTerminalLine, sdlMonitorIdle};
}
#endif

void writeStdout(const char* text) { std::fputs(text, stdout); }

struct HostChoice {
    bool (*chosen)(const Options& options);
    void (*start)(const Options& options);
};

// The hosts this build has, in order of preference.
constexpr HostChoice hosts[] = {
    {[](const Options& options) { return options.headless; }, startHeadless},
#ifdef KORVALO_HAVE_SDL
    {[](const Options&) { return true; }, startWindow},
#endif
};

const HostChoice* chooseHost(const Options& options) {
    for (const HostChoice& choice : hosts) {
        if (choice.chosen(options)) return &choice;
    }
    return nullptr;
}
} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "korvalo: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
#ifdef KORVALO_HAVE_SDL
    if (!setVirtualPadScript(options.virtualPad.c_str(), error)) {
        std::fprintf(stderr, "korvalo: %s\n", error.c_str());
        return 2;
    }
#endif
    const HostChoice* choice = chooseHost(options);
    if (!choice) {
        std::fprintf(stderr, "korvalo: this build has no window host; run with --headless "
                             "(see --help)\n");
        return 2;
    }
    if (!openRecordingFiles(options, error)) {
        std::fprintf(stderr, "korvalo: %s\n", error.c_str());
        return 2;
    }
    // The banner comes first, before the host's own start-up lines.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    host.consoleOut = writeStdout;
    consolePrintf("Korvalo %s (TIA-MC-Mode)\n", programVersion);
    choice->start(options);
    frameLimit = options.frameLimit;
    hostScript = HostScript{options.events, 0};
    startTiaMachine(options.romPath.c_str());
    startRecordingFiles();
    loadStartState(options, options.headless);
    applyScriptEvents(0);
    saveStatesAtFrame(0);
    if (options.monitor) requestMonitorStop();
    for (;;)
        runTiaFrame();
}
