// Command-line options of the korvalo program.
#include "app/options.h"

#include "host/host.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

// The directory of the program's own file, with its trailing slash: the
// kernel's link to the running executable, so that a program started through
// PATH still finds what lies beside it; argv[0] where that link is missing.
std::string programDirectory(const char* argv0) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    std::string path = error ? std::string(argv0 ? argv0 : "") : self.string();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool parseNumber(std::string_view text, uint32_t& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

struct Gathered {
    std::vector<ScriptEvent> keys, drops, shots;
    bool romGiven;
};

bool takeRom(const char* value, Options& options, Gathered& gathered, std::string& error) {
    if (gathered.romGiven) {
        error = std::string("more than one ROM set given: \"") + value + "\"";
        return false;
    }
    options.romPath = value;
    gathered.romGiven = true;
    return true;
}

bool takeFrames(const char* value, Options& options, Gathered&, std::string& error) {
    if (parseNumber(value, options.frameLimit) && options.frameLimit > 0) return true;
    error = std::string("--frames wants a frame count from 1 up, got \"") + value + "\"";
    return false;
}

bool takeKeys(const char* value, Options&, Gathered& gathered, std::string& error) {
    return parseKeyScript(value, gathered.keys, error);
}

bool takeKeyFile(const char* value, Options&, Gathered& gathered, std::string& error) {
    std::ifstream file(value);
    if (!file) {
        error = std::string("can't read the key script \"") + value + "\"";
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    return parseKeyScript(text.str(), gathered.keys, error);
}

bool takeScreenshots(const char* value, Options&, Gathered& gathered, std::string& error) {
    std::string_view text(value);
    while (true) {
        const size_t comma = text.find(',');
        ScriptEvent event{};
        event.action = ScriptAction::screenshot;
        if (!parseNumber(text.substr(0, comma), event.frame) || event.frame == 0) {
            error = "--screenshot wants frame numbers from 1 up, got \"" +
                    std::string(text.substr(0, comma)) + "\"";
            return false;
        }
        gathered.shots.push_back(event);
        if (comma == std::string_view::npos) return true;
        text = text.substr(comma + 1);
    }
}

bool takeDrop(const char* value, Options&, Gathered& gathered, std::string& error) {
    const std::string_view text(value);
    const size_t colon = text.find(':');
    ScriptEvent event{};
    event.action = ScriptAction::drop;
    if (colon == std::string_view::npos || !parseNumber(text.substr(0, colon), event.frame) ||
        colon + 1 == text.size()) {
        error = "--drop wants FRAME:PATH, got \"" + std::string(text) + "\"";
        return false;
    }
    event.path = std::string(text.substr(colon + 1));
    gathered.drops.push_back(event);
    return true;
}

bool takePresent(const char* value, Options& options, Gathered&, std::string& error) {
    const std::string_view way(value);
    if (way == "auto" || way == "surface" || way == "software" || way == "accelerated") {
        options.present = value;
        return true;
    }
    error =
        "--present wants auto, surface, software or accelerated, got \"" + std::string(way) + "\"";
    return false;
}

bool takeVirtualPad(const char* value, Options& options, Gathered&, std::string&) {
    if (!options.virtualPad.empty()) options.virtualPad += ',';
    options.virtualPad += value;
    return true;
}

bool takeScreen(const char* value, Options& options, Gathered&, std::string& error) {
    const std::string_view text(value);
    const size_t x = text.find('x');
    if (x == std::string_view::npos || !parseNumber(text.substr(0, x), options.screenWidth) ||
        !parseNumber(text.substr(x + 1), options.screenHeight)) {
        error = "--screen wants WIDTHxHEIGHT, got \"" + std::string(text) + "\"";
        return false;
    }
    if (options.screenWidth < minimumScreenWidth || options.screenHeight < minimumScreenHeight) {
        error = "--screen must be at least 1280x960";
        return false;
    }
    if (options.screenWidth > maximumScreenWidth || options.screenHeight > maximumScreenHeight) {
        error = "--screen must be at most 8192x8192";
        return false;
    }
    return true;
}

bool takeRecord(const char* value, Options& options, Gathered&, std::string&) {
    options.recordPath = value;
    return true;
}

bool takeReplay(const char* value, Options& options, Gathered&, std::string&) {
    options.replayPath = value;
    return true;
}

bool takePictureHashes(const char* value, Options& options, Gathered&, std::string&) {
    options.pictureHashPath = value;
    return true;
}

bool takeSaveState(const char* value, Options& options, Gathered&, std::string& error) {
    const std::string_view text(value);
    const size_t colon = text.find(':');
    StateSave save{};
    if (colon == std::string_view::npos || !parseNumber(text.substr(0, colon), save.frame) ||
        colon + 1 == text.size()) {
        error = "--save-state wants FRAME:PATH, got \"" + std::string(text) + "\"";
        return false;
    }
    save.path = std::string(text.substr(colon + 1));
    options.stateSaves.push_back(save);
    return true;
}

bool takeLoadState(const char* value, Options& options, Gathered&, std::string& error) {
    if (!options.loadStatePath.empty()) {
        error = std::string("more than one state to load given: \"") + value + "\"";
        return false;
    }
    if (value[0] == 0) {
        error = "--load-state wants a file";
        return false;
    }
    options.loadStatePath = value;
    return true;
}

// The options that take a value, each with what it does with it.
struct ValueOption {
    std::string_view name;
    bool (*take)(const char* value, Options& options, Gathered& gathered, std::string& error);
};

constexpr ValueOption valueOptions[] = {
    {"--rom", takeRom},
    {"--frames", takeFrames},
    {"--keys", takeKeys},
    {"--keys-file", takeKeyFile},
    {"--screenshot", takeScreenshots},
    {"--drop", takeDrop},
    {"--screen", takeScreen},
    {"--present", takePresent},
    {"--virtual-pad", takeVirtualPad},
    {"--save-state", takeSaveState},
    {"--load-state", takeLoadState},
    {"--record", takeRecord},
    {"--replay", takeReplay},
    {"--picture-hashes", takePictureHashes},
};

const ValueOption* findValueOption(std::string_view name) {
    for (const ValueOption& option : valueOptions) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

// All events in frame order; within a frame keys first, then drops, then
// screenshots, each kind in the order given.
bool mergeEvents(Gathered& gathered, Options& options, std::string& error) {
    for (auto* kind : {&gathered.keys, &gathered.drops, &gathered.shots}) {
        options.events.insert(options.events.end(), kind->begin(), kind->end());
    }
    std::stable_sort(options.events.begin(), options.events.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.frame < b.frame; });
    if (options.frameLimit != 0 && !options.events.empty() &&
        options.events.back().frame > options.frameLimit) {
        error = "an event at frame " + std::to_string(options.events.back().frame) +
                " comes after the last frame, " + std::to_string(options.frameLimit);
        return false;
    }
    return true;
}
} // namespace

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    options = Options{};
    options.screenWidth = minimumScreenWidth;
    options.screenHeight = minimumScreenHeight;
    options.present = "auto";
    options.romPath = programDirectory(argc > 0 ? argv[0] : nullptr) + "Derev.tia";
    Gathered gathered{};
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        const ValueOption* option = findValueOption(argument);
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--headless") {
            options.headless = true;
        } else if (argument == "--monitor") {
            options.monitor = true;
        } else if (option) {
            if (i + 1 == argc) {
                error = std::string(argument) + " needs a value";
                return false;
            }
            if (!option->take(argv[++i], options, gathered, error)) return false;
        } else if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option \"" + std::string(argument) + "\" (see --help)";
            return false;
        } else if (!takeRom(argv[i], options, gathered, error)) {
            return false;
        }
    }
    if (!options.recordPath.empty() && !options.replayPath.empty()) {
        error = "--record and --replay can't be given together";
        return false;
    }
    std::stable_sort(options.stateSaves.begin(), options.stateSaves.end(),
                     [](const StateSave& a, const StateSave& b) { return a.frame < b.frame; });
    if (options.frameLimit != 0 && !options.stateSaves.empty() &&
        options.stateSaves.back().frame > options.frameLimit) {
        error = "a state to save at frame " + std::to_string(options.stateSaves.back().frame) +
                " comes after the last frame, " + std::to_string(options.frameLimit);
        return false;
    }
    return mergeEvents(gathered, options, error);
}

const char* usageText() {
    return R"(Usage: korvalo [--headless] [options] [ROM]
Emulates the TIA-MC-1 arcade board (and the TIA-MC-2 variant). Without
--headless it plays in a window until the window is closed.

  --headless          run without a window: the picture is composed into an
                      in-memory back buffer and nothing paces the frames
  --present WAY       window: how frames reach the screen: auto (default),
                      surface, software or accelerated
  --virtual-pad EVTS  window, for tests: a virtual game pad driven by events
                      "FRAME:attach", "FRAME:down:A" (Up Down Left Right A B X
                      Start), "FRAME:up:A", "FRAME:stick:X:Y", "FRAME:detach"
  --rom PATH, ROM     the ROM set to run (default: Derev.tia in the program's
                      own directory)
  --frames N          run N frames, then exit with code 0 (default: run until
                      stopped)
  --keys SCRIPT       key events "FRAME:down:KEY" / "FRAME:up:KEY" separated by
                      commas, e.g. "10:down:Space,12:up:Space"
  --keys-file FILE    key events from a file, one per line; '#' starts a
                      comment line
  --screenshot F[,F]  save the picture of frame F (from 1) once it has been
                      presented: ScreenShot_NNN.png in the current directory,
                      first free number, with the same console line as Left
                      Shift + Print Screen; unlike that hot key it presses no
                      keys, so frame F+1 still rebuilds the cabinet inputs and
                      a held Left Windows + F does not stop it
  --drop FRAME:PATH   drop the file PATH onto the program at FRAME
  --screen WxH        back buffer size (default and minimum 1280x960, at most
                      8192x8192)
  --record FILE       record everything from outside that reaches the board
                      (key snapshots, dropped sets, loaded states), frame by
                      frame, from power-on, into FILE
  --replay FILE       play a recording back exactly (the ROM set must be the
                      one it was made with); the keyboard, game pads and drops
                      are ignored until it ends, the game goes on from there
  --picture-hashes FILE
                      write one line per frame, "FRAME HASH": a 64-bit hash of
                      the board's 512x256 picture, whatever the scale preset
  --save-state F:PATH write the machine's state after frame F (from 0, the
                      moment screenshots are taken) to PATH, through a new
                      file renamed over the old; one that cannot be written is
                      a fatal error
  --load-state PATH   load the state in PATH before frame 1 (frames count
                      from 1 again); one that cannot be loaded is a fatal
                      error. Headless, the keys it shows down stay held until
                      the key script releases them, as in the run it came from
  --monitor           stop in the monitor before the first instruction; its
                      commands come from the terminal (? lists them; F9 stops
                      a running game in the monitor as well)
  --help, -h          this text

Frames: "frame N" is the moment after N frames have run and been presented,
before frame N+1 starts (its frame-start hook takes the key snapshot); frame 0
is before the first frame. Events of one frame are applied in this order: key
events as listed, drops, screenshots. Key events are written where the
keyboard writes them; "down:Pause" holds Pause for five frames, as the
keyboard does (Pause has no "up"). Options may be repeated.

Keys by name (any case): Esc, 0-9, A-Z, F1-F12, Minus, Equals, Backspace, Tab,
Enter, Space, LCtrl, RCtrl, LShift, RShift, LAlt, RAlt, CapsLock, NumLock,
ScrollLock, PrintScreen, Pause, Insert, Delete, Home, End, PageUp, PageDown,
Up, Down, Left, Right, LWin, RWin, Apps, KeypadEnter; or by key code, 0xNN
(scan code set 1, + 0x80 for E0-prefixed keys).
Host keys: Delete (scale preset), LCtrl+Delete (scanline look), LWin+F (full
screen; F11 too, for desktops that keep the Windows key for themselves),
LShift+PrintScreen (screenshot), PrintScreen+ScrollLock+Pause (restart the
board's program), F2 (save the state to the current slot), F4 (load it), F6
and F7 (previous and next slot, 0-9), Backspace held (run backwards, up to
30 s). Game pads: D-pad and left stick = arrows, A = Space, B = LCtrl, X = T,
Start = Enter. The window reads the keys only while it has the focus; losing
it releases every key.

Exit codes: 0 after --frames N frames or when the window is closed; 1 after a fatal error (e.g. "Can't
open file!", printed on the standard error); 2 for a bad command line.
)";
}
