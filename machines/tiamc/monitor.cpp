// The monitor. While nothing asks for it the frame loop runs free and the
// monitor costs nothing: no check in the instruction loop. A stop, a step, a
// trace or a breakpoint installs its own frame loop (monitoredFrame), which
// runs the same instructions in the same order, with the same frame-phase
// bit, one by one with its checks between them; breakpoints on memory and
// port access wrap the board's bus slots while any is set. The machine is
// held between two instructions by leaving the frame open: the loop's next
// pass goes on with the same frame, so the board sees exactly the interrupts,
// frame-phase bit and T-states it sees when running free, and a frame stepped
// through ends with the picture and pacing of any other.
#include "machines/tiamc/monitor.h"

#include "cpu/disasm.h"
#include "cpu/z80.h"
#include "display/present.h"
#include "host/host.h"
#include "host/keycodes.h"
#include "machines/tiamc/tiamc.h"

#include <bitset>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

MonitorConsole monitorConsole;

namespace {

enum class Watch : uint8_t { exec, memRead, memWrite, portIn, portOut };

constexpr const char* watchNames[] = {"execution", "memory read", "memory write", "port in",
                                      "port out"};

struct Breakpoint {
    uint32_t id;
    Watch kind;
    uint16_t first, last; // an address range; a port's low byte
    int value;            // the byte read or written, or -1 for any
};

struct AccessHit {
    const Breakpoint* breakpoint;
    uint16_t address;
    uint8_t value;
};

struct Monitor {
    std::vector<Breakpoint> breakpoints;
    uint32_t nextId = 1;
    // Execution breakpoints and the addresses and ports watched, for the
    // checks between instructions and in the bus slots.
    std::bitset<0x10000> execAt;
    std::bitset<0x10000> memWatched;
    std::bitset<0x100> portWatched;
    bool stopped = false;
    bool stopAsked = false;
    // Instructions to run before stopping again (a step or a trace), -1 for
    // none.
    int64_t stepsLeft = -1;
    // A step over a call: stop when execution is back at overTo with the
    // stack no deeper than overSp.
    bool overActive = false;
    uint16_t overTo = 0, overSp = 0;
    bool runToActive = false;
    uint16_t runTo = 0;
    // The instruction a resume starts with is not stopped at again.
    bool resumed = false;
    // The frame's first instruction has run (it always runs).
    bool frameStarted = false;
    // The monitor's frame loop is running (a command came from its held
    // turn).
    bool inLoop = false;
    std::FILE* trace = nullptr;
    std::string tracePath;
    uint64_t traced = 0;
    std::vector<AccessHit> hits;
    std::unique_ptr<Z80Symbols> symbols;
    uint16_t listFrom = 0; // where a disassembly without an address starts
    // The board's own bus slots under the watching ones.
    CpuStep boardRead = nullptr, boardWrite = nullptr, boardIn = nullptr, boardOut = nullptr;
    bool hotKeys[2] = {}; // F11, Left Windows + F, as last seen while held
};

Monitor mon;

const Z80Symbols* symbols() { return mon.symbols.get(); }

// ---- bus slots -------------------------------------------------------------

void noteAccess(Watch kind, uint16_t address, uint8_t value) {
    for (const Breakpoint& b : mon.breakpoints) {
        if (b.kind != kind) continue;
        const uint16_t at =
            (kind == Watch::portIn || kind == Watch::portOut) ? address & 0xFF : address;
        if (at < b.first || at > b.last) continue;
        if (b.value >= 0 && b.value != value) continue;
        mon.hits.push_back({&b, address, value});
    }
}

void watchRead(CpuCore& c) {
    mon.boardRead(c);
    if (mon.memWatched[c.busAddress]) noteAccess(Watch::memRead, c.busAddress, c.busData());
}

void watchWrite(CpuCore& c) {
    if (mon.memWatched[c.busAddress]) noteAccess(Watch::memWrite, c.busAddress, c.busData());
    mon.boardWrite(c);
}

void watchIn(CpuCore& c) {
    mon.boardIn(c);
    if (mon.portWatched[c.busAddress & 0xFF]) noteAccess(Watch::portIn, c.busAddress, c.busData());
}

void watchOut(CpuCore& c) {
    if (mon.portWatched[c.busAddress & 0xFF]) noteAccess(Watch::portOut, c.busAddress, c.busData());
    mon.boardOut(c);
}

bool accessWatched() {
    for (const Breakpoint& b : mon.breakpoints) {
        if (b.kind != Watch::exec) return true;
    }
    return false;
}

// The watching slots go over the board's while an access breakpoint is set;
// a set loaded since (its own slots installed) is wrapped again.
void armBusSlots() {
    CpuCore& c = cpuCore;
    const bool want = accessWatched();
    if (want && c.readFn != watchRead) {
        mon.boardRead = c.readFn;
        mon.boardWrite = c.writeFn;
        mon.boardIn = c.portInFn;
        mon.boardOut = c.portOutFn;
        c.readFn = watchRead;
        c.writeFn = watchWrite;
        c.portInFn = watchIn;
        c.portOutFn = watchOut;
    } else if (!want && c.readFn == watchRead) {
        c.readFn = mon.boardRead;
        c.writeFn = mon.boardWrite;
        c.portInFn = mon.boardIn;
        c.portOutFn = mon.boardOut;
    }
}

void rebuildWatchMaps() {
    mon.execAt.reset();
    mon.memWatched.reset();
    mon.portWatched.reset();
    for (const Breakpoint& b : mon.breakpoints) {
        for (uint32_t a = b.first; a <= b.last; ++a) {
            if (b.kind == Watch::exec) mon.execAt[a] = true;
            if (b.kind == Watch::memRead || b.kind == Watch::memWrite) mon.memWatched[a] = true;
            if (b.kind == Watch::portIn || b.kind == Watch::portOut)
                mon.portWatched[a & 0xFF] = true;
        }
    }
}

// ---- text ------------------------------------------------------------------

uint8_t fullR(const CpuCore& c) { return uint8_t((c.R & 0x7F) | (c.R7 & 0x80)); }

// The interrupt mode as programs set it: the core keeps IM 0 and its ED 4E
// twin apart.
int interruptMode(const CpuCore& c) { return c.im < 2 ? 0 : c.im - 1; }

int32_t frameTStates(const CpuCore& c) { return (frameGrant - c.cycleBudget) / 256; }

std::string flagText(uint8_t f) {
    std::string text = "SZ5H3PNC";
    for (int bit = 0; bit < 8; ++bit) {
        if (!(f & (0x80 >> bit))) text[size_t(bit)] = '-';
    }
    return text;
}

std::string registerLine(const CpuCore& c) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "AF=%02X%02X BC=%04X DE=%04X HL=%04X IX=%04X IY=%04X SP=%04X PC=%04X", c.A, c.F,
                  c.BC.w, c.DE.w, c.HL.w, c.IX.w, c.IY.w, c.SP, c.PC);
    return line;
}

void printRegisters() {
    const CpuCore& c = cpuCore;
    consolePrintf("%s\n", registerLine(c).c_str());
    consolePrintf("AF'=%04X BC'=%04X DE'=%04X HL'=%04X I=%02X R=%02X IM %d IFF1=%d IFF2=%d F=%s\n",
                  c.AFx.w, c.BCx.w, c.DEx.w, c.HLx.w, c.I, fullR(c), interruptMode(c),
                  (c.iff >> 1) & 1, (c.iff >> 2) & 1, flagText(c.F).c_str());
    consolePrintf("Frame %" PRIu32 ", T-state %d\n", tiaFramesRun, frameTStates(c));
}

bool acknowledging(const CpuCore& c) {
    return c.stepFn == interruptRst38Step || c.stepFn == interruptVectorStep;
}

// "0123  3E 05        LD A,05H" and the instruction's length.
uint8_t instructionText(uint16_t address, std::string& text) {
    char code[64];
    const uint8_t length =
        disassembleZ80(tiaBoard.boardMemory, address, code, sizeof code, symbols());
    char line[128];
    int at = std::snprintf(line, sizeof line, "%04X ", address);
    for (int i = 0; i < 4; ++i) {
        if (i < length) {
            at += std::snprintf(line + at, sizeof line - size_t(at), " %02X",
                                tiaBoard.boardMemory[uint16_t(address + i)]);
        } else {
            at += std::snprintf(line + at, sizeof line - size_t(at), "   ");
        }
    }
    std::snprintf(line + at, sizeof line - size_t(at), "  %s", code);
    text = line;
    if (const char* label = symbolAt(symbols(), address)) text = text + "  ; " + label;
    return length;
}

void printNextInstruction() {
    if (acknowledging(cpuCore)) {
        consolePrintf("----  interrupt acknowledge\n");
        return;
    }
    std::string text;
    instructionText(cpuCore.PC, text);
    consolePrintf("%s\n", text.c_str());
}

// The instruction about to run (or the interrupt acknowledge), with the
// registers and T-states it starts from.
void traceLine(const CpuCore& c, bool acknowledge) {
    std::string text;
    if (acknowledge) {
        text = "----  interrupt";
    } else {
        instructionText(c.PC, text);
        const size_t semicolon = text.find("  ;");
        if (semicolon != std::string::npos) text.resize(semicolon);
    }
    std::fprintf(mon.trace, "%-40s %s T=%d\n", text.c_str(), registerLine(c).c_str(),
                 frameTStates(c));
    ++mon.traced;
}

// ---- running ---------------------------------------------------------------

void endTrace() {
    if (!mon.trace) return;
    std::fclose(mon.trace);
    mon.trace = nullptr;
    consolePrintf("Traced %" PRIu64 " instructions to %s\n", mon.traced, mon.tracePath.c_str());
}

// True while anything needs the monitor's frame loop.
bool monitorNeeded() {
    return mon.stopped || mon.stopAsked || mon.stepsLeft >= 0 || mon.overActive ||
           mon.runToActive || mon.trace || !mon.breakpoints.empty();
}

void stopHere() {
    mon.stopped = true;
    mon.listFrom = cpuCore.PC;
    mon.stepsLeft = -1;
    mon.overActive = false;
    mon.runToActive = false;
    endTrace();
    printNextInstruction();
}

enum class Stop : uint8_t { none, asked, step, breakpoint };

// Why the machine stops before this instruction.
Stop stopBefore(const CpuCore& c) {
    if (mon.stopAsked) return Stop::asked;
    if (mon.resumed) return Stop::none;
    if (mon.stepsLeft == 0) return Stop::step;
    if (mon.runToActive && c.PC == mon.runTo) return Stop::step;
    if (mon.overActive && c.PC == mon.overTo && c.SP >= mon.overSp) return Stop::step;
    if (mon.execAt[c.PC]) return Stop::breakpoint;
    return Stop::none;
}

void announceStop(Stop why) {
    if (why == Stop::asked) consolePrintf("Monitor: stopped\n");
    if (why != Stop::breakpoint) return;
    for (const Breakpoint& b : mon.breakpoints) {
        if (b.kind == Watch::exec && cpuCore.PC >= b.first && cpuCore.PC <= b.last) {
            consolePrintf("Monitor: breakpoint %u at %04X\n", b.id, cpuCore.PC);
            return;
        }
    }
}

void announceHits(uint16_t at) {
    for (const AccessHit& h : mon.hits) {
        const Breakpoint& b = *h.breakpoint;
        const bool port = b.kind == Watch::portIn || b.kind == Watch::portOut;
        const bool read = b.kind == Watch::memRead || b.kind == Watch::portIn;
        consolePrintf("Monitor: breakpoint %u: %s %02X %s %s %0*X by the instruction at %04X\n",
                      b.id, read ? "read" : "wrote", h.value, read ? "from" : "to",
                      port ? "port" : "address", port ? 2 : 4, port ? h.address & 0xFF : h.address,
                      at);
    }
    mon.hits.clear();
}

void leaveMonitorLoop() {
    if (!monitorNeeded()) monitoredFrame = nullptr;
}

// Function keys that work while the machine is held: full screen.
void heldHotKeys() {
    const bool windowsF = (liveKeys[leftWindowsKey] & 0x80) && (liveKeys[fKey] & 0x80);
    const bool f11 = liveKeys[f11Key] & 0x80;
    if ((f11 && !mon.hotKeys[0]) || (windowsF && !mon.hotKeys[1])) {
        fullScreen = !fullScreen;
        resizeClient(0, 0);
    }
    mon.hotKeys[0] = f11;
    mon.hotKeys[1] = windowsF;
}

// Commands until one lets the machine run: true. False when no command is
// waiting (the host's idle step has run; the frame stays held).
bool heldTurn() {
    for (;;) {
        std::string line;
        const MonitorLine got = monitorConsole.readLine(line);
        if (got == MonitorLine::line) {
            if (!runMonitorCommand(line)) return true;
            continue;
        }
        if (got == MonitorLine::none) {
            heldHotKeys();
            if (monitorConsole.idle) monitorConsole.idle();
            return false;
        }
        consolePrintf("Monitor: no more commands; the machine runs on\n");
        resetMonitor();
        return true;
    }
}

// The frame's instructions one at a time with the monitor's checks, in the
// order and with the frame-phase bit the free loop gives them. False when
// the machine is held inside the frame.
bool monitoredLoop() {
    CpuCore& c = cpuCore;
    for (;;) {
        if (mon.stopped && !heldTurn()) return false;
        if (mon.frameStarted && c.cycleBudget < 0) {
            mon.frameStarted = false;
            leaveMonitorLoop();
            return true;
        }
        if (c.cycleBudget < framePhaseThreshold) tiaBoard.inputD2 |= framePhaseBit;
        const bool acknowledge = acknowledging(c);
        // A chain of prefixes the last frame left unfinished goes on as one
        // pass: nothing stops inside it.
        if (isBetweenInstructions(c) || acknowledge) {
            if (const Stop why = stopBefore(c); why != Stop::none) {
                mon.stopAsked = false;
                announceStop(why);
                stopHere(); // a trace ends here
                continue;
            }
            mon.resumed = false;
            if (mon.trace) traceLine(c, acknowledge);
            const uint16_t at = c.PC;
            runInstruction(c);
            if (mon.stepsLeft > 0) --mon.stepsLeft;
            if (!mon.hits.empty()) {
                announceHits(at);
                mon.stepsLeft = 0; // stops before the next instruction
            }
        } else {
            runInstruction(c);
        }
        mon.frameStarted = true;
    }
}

// The bus slots are checked once a pass: a set loaded since the last (its
// own slots installed) happens only between frames, and breakpoint commands
// arm or disarm them at once.
bool monitoredInstructions() {
    armBusSlots();
    mon.inLoop = true;
    const bool ended = monitoredLoop();
    mon.inLoop = false;
    return ended;
}

void enterMonitorLoop() {
    if (!monitorConsole.readLine) return;
    monitoredFrame = monitoredInstructions;
    armBusSlots();
}

// The machine runs on from the held instruction, not stopping there again.
void resume() {
    mon.stopped = false;
    mon.resumed = true;
}

// ---- command words ---------------------------------------------------------

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

std::string upper(std::string s) {
    for (char& ch : s)
        ch = char(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

bool parseHex(const std::string& text, uint32_t limit, uint32_t& value) {
    std::string digits = upper(text);
    if (digits.size() > 2 && digits.compare(0, 2, "0X") == 0) {
        digits.erase(0, 2);
    } else if (!digits.empty() && (digits[0] == '$' || digits[0] == '#')) {
        digits.erase(0, 1);
    } else if (digits.size() > 1 && digits.back() == 'H') {
        digits.pop_back();
    }
    if (digits.empty() || digits.size() > 8) return false;
    uint64_t v = 0;
    for (char ch : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(ch))) return false;
        v = v * 16 +
            uint64_t(std::isdigit(static_cast<unsigned char>(ch)) ? ch - '0' : ch - 'A' + 10);
    }
    if (v > limit) return false;
    value = uint32_t(v);
    return true;
}

bool parseCount(const std::string& text, int64_t& count) {
    if (text.empty() || text.size() > 9) return false;
    for (char ch : text) {
        if (!std::isdigit(static_cast<unsigned char>(ch))) return false;
    }
    count = std::stoll(text);
    return count > 0;
}

struct RegisterName {
    const char* name;
    bool wide;
};
constexpr RegisterName registerNames[] = {
    {"A", false},  {"F", false},  {"B", false},  {"C", false},  {"D", false},  {"E", false},
    {"H", false},  {"L", false},  {"I", false},  {"R", false},  {"AF", true},  {"BC", true},
    {"DE", true},  {"HL", true},  {"IX", true},  {"IY", true},  {"SP", true},  {"PC", true},
    {"AF'", true}, {"BC'", true}, {"DE'", true}, {"HL'", true}, {"IM", false}, {"IFF", false},
};

uint16_t* widePair(CpuCore& c, const std::string& name) {
    if (name == "BC") return &c.BC.w;
    if (name == "DE") return &c.DE.w;
    if (name == "HL") return &c.HL.w;
    if (name == "IX") return &c.IX.w;
    if (name == "IY") return &c.IY.w;
    if (name == "SP") return &c.SP;
    if (name == "PC") return &c.PC;
    if (name == "AF'") return &c.AFx.w;
    if (name == "BC'") return &c.BCx.w;
    if (name == "DE'") return &c.DEx.w;
    if (name == "HL'") return &c.HLx.w;
    return nullptr;
}

// A 16-bit register's value, for addresses written as a register name.
bool registerValue(const std::string& name, uint16_t& value) {
    CpuCore& c = cpuCore;
    if (name == "AF") {
        value = uint16_t(c.A << 8 | c.F);
        return true;
    }
    if (uint16_t* pair = widePair(c, name)) {
        value = *pair;
        return true;
    }
    return false;
}

// An address: a label of the symbol table, a register pair, or hex.
bool parseAddress(const std::string& text, uint16_t& address) {
    if (symbolAddress(symbols(), text.c_str(), address)) return true;
    if (registerValue(upper(text), address)) return true;
    uint32_t value;
    if (!parseHex(text, 0xFFFF, value)) return false;
    address = uint16_t(value);
    return true;
}

// "ADDR" or "FIRST-LAST".
bool parseRange(const std::string& text, uint16_t& first, uint16_t& last) {
    const size_t dash = text.find('-');
    if (dash == std::string::npos) {
        if (!parseAddress(text, first)) return false;
        last = first;
        return true;
    }
    return parseAddress(text.substr(0, dash), first) && parseAddress(text.substr(dash + 1), last) &&
           first <= last;
}

// A port: hex or a label whose value is below 100H.
bool parsePort(const std::string& text, uint32_t& port) {
    uint16_t value;
    if (symbolAddress(symbols(), text.c_str(), value) && value <= 0xFF) {
        port = value;
        return true;
    }
    return parseHex(text, 0xFF, port);
}

bool bad(const char* what) {
    consolePrintf("Monitor: %s (? lists the commands)\n", what);
    return true;
}

bool setRegister(const std::string& name, const std::string& text) {
    const RegisterName* known = nullptr;
    for (const RegisterName& r : registerNames) {
        if (name == r.name) known = &r;
    }
    if (!known) return bad("no such register");
    uint32_t v;
    if (!parseHex(text, known->wide ? 0xFFFF : 0xFF, v)) return bad("bad value");
    CpuCore& c = cpuCore;
    if (name == "IM" && v > 2) return bad("bad value");
    if (name == "IFF" && v > 1) return bad("bad value");
    if (uint16_t* pair = widePair(c, name)) {
        *pair = uint16_t(v);
    } else if (name == "AF") {
        c.A = uint8_t(v >> 8);
        c.F = uint8_t(v);
    } else if (name == "A") {
        c.A = uint8_t(v);
    } else if (name == "F") {
        c.F = uint8_t(v);
    } else if (name == "B" || name == "C" || name == "D" || name == "E" || name == "H" ||
               name == "L") {
        RegPair& p = name == "B" || name == "C" ? c.BC : name == "D" || name == "E" ? c.DE : c.HL;
        const bool high = name == "B" || name == "D" || name == "H";
        p.w = uint16_t(high ? (p.w & 0x00FF) | v << 8 : (p.w & 0xFF00) | v);
    } else if (name == "I") {
        c.I = uint8_t(v);
    } else if (name == "R") {
        c.R = uint8_t(v);
        c.R7 = uint8_t(v & 0x80);
    } else if (name == "IM") {
        c.im = uint8_t(v == 0 ? 0 : v + 1);
    } else { // IFF: both flip-flops, as EI and DI set them
        c.iff = v ? 6 : 0;
    }
    printRegisters();
    return true;
}

// "3: memory write at C000-C0FF value 05 (LABEL)"
void describeBreakpoint(const Breakpoint& b) {
    const bool port = b.kind == Watch::portIn || b.kind == Watch::portOut;
    consolePrintf("%u: %s at %0*X", b.id, watchNames[int(b.kind)], port ? 2 : 4, b.first);
    if (b.last != b.first) consolePrintf("-%04X", b.last);
    if (b.value >= 0) consolePrintf(" value %02X", b.value);
    const char* label = port ? nullptr : symbolAt(symbols(), b.first);
    if (label) consolePrintf(" (%s)", label);
    consolePrintf("\n");
}

bool addBreakpoint(Watch kind, const std::vector<std::string>& w) {
    if (w.size() < 2 || w.size() > 3) return bad("give an address (and a value)");
    Breakpoint b{mon.nextId, kind, 0, 0, -1};
    const bool port = kind == Watch::portIn || kind == Watch::portOut;
    if (port) {
        uint32_t p;
        if (!parsePort(w[1], p)) return bad("bad port");
        b.first = b.last = uint16_t(p);
    } else if (!parseRange(w[1], b.first, b.last)) {
        return bad("bad address");
    }
    if (w.size() == 3) {
        if (kind == Watch::exec) return bad("an execution breakpoint takes no value");
        uint32_t v;
        if (!parseHex(w[2], 0xFF, v)) return bad("bad value");
        b.value = int(v);
    }
    ++mon.nextId;
    mon.breakpoints.push_back(b);
    rebuildWatchMaps();
    enterMonitorLoop();
    consolePrintf("Breakpoint ");
    describeBreakpoint(b);
    return true;
}

void listBreakpoints() {
    if (mon.breakpoints.empty()) consolePrintf("No breakpoints\n");
    for (const Breakpoint& b : mon.breakpoints)
        describeBreakpoint(b);
}

bool removeBreakpoints(const std::vector<std::string>& w) {
    if (w.size() != 2) return bad("give a breakpoint number or *");
    if (w[1] == "*") {
        mon.breakpoints.clear();
    } else {
        int64_t id;
        if (!parseCount(w[1], id)) return bad("bad breakpoint number");
        const auto before = mon.breakpoints.size();
        std::erase_if(mon.breakpoints, [id](const Breakpoint& b) { return b.id == id; });
        if (mon.breakpoints.size() == before) return bad("no such breakpoint");
    }
    rebuildWatchMaps();
    armBusSlots();
    consolePrintf("%zu breakpoints left\n", mon.breakpoints.size());
    return true;
}

void showMemory(uint16_t from, uint32_t length) {
    for (uint32_t row = 0; row < length; row += 16) {
        const uint16_t at = uint16_t(from + row);
        char text[17] = {};
        consolePrintf("%04X ", at);
        const uint32_t n = std::min<uint32_t>(16, length - row);
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t byte = tiaBoard.boardMemory[uint16_t(at + i)];
            consolePrintf(" %02X", byte);
            text[i] = byte >= 0x20 && byte < 0x7F ? char(byte) : '.';
        }
        consolePrintf("%*s  %s\n", int(16 - n) * 3, "", text);
    }
}

// What IN from the port reads now (the board's input ports have no side
// effects), or with no port the board's write-only registers.
bool showPorts(const std::vector<std::string>& w) {
    if (w.size() == 2) {
        uint32_t port;
        if (!parsePort(w[1], port)) return bad("bad port");
        CpuCore probe = cpuCore;
        probe.busAddress = uint16_t(port);
        (cpuCore.portInFn == watchIn ? mon.boardIn : cpuCore.portInFn)(probe);
        consolePrintf("Port %02X reads %02X\n", port, probe.busData());
        return true;
    }
    if (w.size() > 2) return bad("give one port");
    const TiaBoard& b = tiaBoard;
    consolePrintf("Inputs D0=%02X D1=%02X D2=%02X  video %02X  sprite X origin %02X  latch %02X\n",
                  b.inputD0, b.inputD1, b.inputD2, b.videoControl, b.spriteXOrigin, b.auxLatch);
    for (int s = 0; s < 16; s += 4) {
        consolePrintf("Sprites %2d-%2d:", s, s + 3);
        for (int i = s; i < s + 4; ++i)
            consolePrintf("  %02X %02X %02X %02X", b.spriteRegs[i][0], b.spriteRegs[i][1],
                          b.spriteRegs[i][2], b.spriteRegs[i][3]);
        consolePrintf("\n");
    }
    consolePrintf("Palette:");
    for (uint32_t colour : b.paletteRegs)
        consolePrintf(" %06X", colour & 0xFFFFFF);
    consolePrintf("\n");
    return true;
}

bool disassembleCommand(const std::vector<std::string>& w) {
    uint16_t from = mon.listFrom;
    int64_t count = 16;
    if (w.size() > 3) return bad("give an address and a count");
    if (w.size() >= 2 && !parseAddress(w[1], from)) return bad("bad address");
    if (w.size() == 3 && !parseCount(w[2], count)) return bad("bad count");
    for (int64_t i = 0; i < count; ++i) {
        std::string text;
        if (const char* label = symbolAt(symbols(), from)) consolePrintf("%s:\n", label);
        from = uint16_t(from + instructionText(from, text));
        consolePrintf("%s\n", text.c_str());
    }
    mon.listFrom = from;
    return true;
}

bool startTrace(const std::vector<std::string>& w) {
    int64_t count = -1;
    std::string path;
    if (w.size() == 3) {
        if (!parseCount(w[1], count)) return bad("bad count");
        path = w[2];
    } else if (w.size() == 2) {
        path = w[1];
    } else {
        return bad("give a count and a file, or a file");
    }
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return bad(("can't write " + path).c_str());
    mon.trace = file;
    mon.tracePath = path;
    mon.traced = 0;
    mon.stepsLeft = count;
    return false;
}

// The instruction at PC returns to the one after it: a call, a restart, a
// repeating block instruction.
bool returnsPast(uint16_t pc) {
    const uint8_t* m = tiaBoard.boardMemory;
    const uint8_t op = m[pc];
    if (op == 0xCD || (op & 0xC7) == 0xC4 || (op & 0xC7) == 0xC7) return true;
    if (op == 0xED) return (m[uint16_t(pc + 1)] & 0xF4) == 0xB0; // LDIR .. OTDR
    return false;
}

bool stepCommand(const std::vector<std::string>& w, bool over) {
    int64_t count = 1;
    if (w.size() > 2 || (w.size() == 2 && !parseCount(w[1], count))) return bad("bad count");
    const CpuCore& c = cpuCore;
    if (over && count == 1 && isBetweenInstructions(c) && returnsPast(c.PC)) {
        std::string text;
        mon.overTo = uint16_t(c.PC + instructionText(c.PC, text));
        mon.overSp = c.SP;
        mon.overActive = true;
        return false;
    }
    mon.stepsLeft = count;
    return false;
}

const char* const helpText =
    "?                   these commands\n"
    "r                   registers\n"
    "r REG VALUE         sets a register (A..L, I, R, AF..HL, IX, IY, SP, PC, AF'..HL', IM, "
    "IFF)\n"
    "s [N]               steps N instructions (1), into calls\n"
    "n                   steps over a call, restart or block instruction\n"
    "c                   continues\n"
    "g ADDR              runs to ADDR\n"
    "b ADDR              breaks on execution at ADDR\n"
    "br ADDR[-END] [V]   breaks on a memory read (of the value V)\n"
    "bw ADDR[-END] [V]   breaks on a memory write (of the value V)\n"
    "bi PORT [V]         breaks on a port read (IN)\n"
    "bo PORT [V]         breaks on a port write (OUT)\n"
    "bl                  lists the breakpoints\n"
    "bd N | bd *         removes breakpoint N, or all\n"
    "m ADDR [LEN]        shows memory (LEN hex, 40)\n"
    "w ADDR BYTE...      writes memory\n"
    "p [PORT]            shows what IN from PORT reads, or the board's registers\n"
    "d [ADDR [N]]        disassembles N instructions (16)\n"
    "t [N] FILE          traces N instructions, or up to the next stop, into FILE\n"
    "dump                writes the program ROM's disassembly to TIA-DisDump.txt\n"
    "sym FILE            loads a pasmo symbol table (pasmo's third file argument)\n"
    "q                   quits\n"
    "Addresses and values are hex (1234, 0x1234, 1234H, $1234), a register pair or "
    "a label; counts are decimal.\n";

} // namespace

bool runMonitorCommand(const std::string& line) {
    const std::vector<std::string> w = words(line);
    if (w.empty()) return true;
    const std::string cmd = w[0];
    if (cmd == "?") {
        consolePrintf("%s", helpText);
    } else if (cmd == "r") {
        if (w.size() == 1) {
            printRegisters();
        } else if (w.size() == 3) {
            return setRegister(upper(w[1]), w[2]);
        } else {
            return bad("give a register and a value");
        }
    } else if (cmd == "s" || cmd == "n") {
        if (!mon.stopped) return bad("the machine is running");
        if (cmd == "n" && w.size() > 1) return bad("n takes no count");
        if (stepCommand(w, cmd == "n")) return true;
        resume();
        return false;
    } else if (cmd == "c") {
        if (w.size() != 1) return bad("c takes nothing more");
        resume();
        return false;
    } else if (cmd == "g") {
        uint16_t to;
        if (w.size() != 2 || !parseAddress(w[1], to)) return bad("bad address");
        mon.runTo = to;
        mon.runToActive = true;
        resume();
        return false;
    } else if (cmd == "b" || cmd == "br" || cmd == "bw" || cmd == "bi" || cmd == "bo") {
        const Watch kind = cmd == "b"    ? Watch::exec
                           : cmd == "br" ? Watch::memRead
                           : cmd == "bw" ? Watch::memWrite
                           : cmd == "bi" ? Watch::portIn
                                         : Watch::portOut;
        return addBreakpoint(kind, w);
    } else if (cmd == "bl") {
        listBreakpoints();
    } else if (cmd == "bd") {
        return removeBreakpoints(w);
    } else if (cmd == "m") {
        uint16_t from;
        uint32_t length = 0x40;
        if (w.size() < 2 || w.size() > 3 || !parseAddress(w[1], from)) return bad("bad address");
        if (w.size() == 3 && (!parseHex(w[2], 0x10000, length) || length == 0))
            return bad("bad length");
        showMemory(from, length);
    } else if (cmd == "w") {
        uint16_t at;
        if (w.size() < 3 || !parseAddress(w[1], at)) return bad("give an address and bytes");
        std::vector<uint8_t> bytes;
        for (size_t i = 2; i < w.size(); ++i) {
            uint32_t v;
            if (!parseHex(w[i], 0xFF, v)) return bad("bad byte");
            bytes.push_back(uint8_t(v));
        }
        for (size_t i = 0; i < bytes.size(); ++i)
            tiaBoard.boardMemory[uint16_t(at + i)] = bytes[i];
        showMemory(at, uint32_t(bytes.size()));
    } else if (cmd == "p") {
        return showPorts(w);
    } else if (cmd == "d") {
        return disassembleCommand(w);
    } else if (cmd == "t") {
        if (!mon.stopped) return bad("the machine is running");
        if (startTrace(w)) return true;
        resume();
        return false;
    } else if (cmd == "dump") {
        if (w.size() != 1) return bad("dump takes nothing more");
        if (writeDisassemblyDump(disDumpFileName, symbols())) {
            consolePrintf("Disassembly written to %s\n", disDumpFileName);
        } else {
            consolePrintf("Monitor: can't write %s\n", disDumpFileName);
        }
    } else if (cmd == "sym") {
        if (w.size() != 2) return bad("give a symbol file");
        auto table = std::make_unique<Z80Symbols>();
        std::string error;
        if (!loadPasmoSymbols(w[1].c_str(), *table, error))
            return bad(("can't load symbols: " + error).c_str());
        mon.symbols = std::move(table);
        consolePrintf("Symbols loaded from %s\n", w[1].c_str());
    } else if (cmd == "q") {
        endTrace();
        host.shutdownAndExit();
    } else {
        return bad("no such command");
    }
    return true;
}

void requestMonitorStop() {
    if (!monitorConsole.readLine || mon.stopped) return;
    mon.stopAsked = true;
    enterMonitorLoop();
}

bool monitorHoldsMachine() { return mon.stopped; }

void resetMonitor() {
    endTrace();
    mon.breakpoints.clear();
    rebuildWatchMaps();
    mon.stopped = mon.stopAsked = mon.overActive = mon.runToActive = mon.resumed = false;
    mon.stepsLeft = -1;
    mon.hits.clear();
    mon.symbols.reset();
    mon.listFrom = 0;
    armBusSlots();
    // Inside its loop the monitor leaves at the frame's end; the free loop
    // may take over a held frame (it goes on from any instruction).
    if (!mon.inLoop) {
        monitoredFrame = nullptr;
        mon.frameStarted = false;
    }
}
