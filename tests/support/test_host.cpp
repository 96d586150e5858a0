#include "tests/support/test_host.h"

#include "host/host.h"
#include "host/statestore.h"

#include <algorithm>
#include <cstring>

TestHostRecord testHost;

int TestHostRecord::count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

namespace {

bool lockBackBuffer(BackBufferLock* lock) {
    testHost.calls.push_back("lock");
    if (testHost.lockFails) return false;
    lock->pixels = testHost.backBuffer.data();
    lock->pitch = static_cast<int32_t>(screenWidth * sizeof(uint32_t));
    return true;
}

void unlockBackBuffer() { testHost.calls.push_back("unlock"); }

void clearBackBuffer() {
    testHost.calls.push_back("clear");
    std::fill(testHost.backBuffer.begin(), testHost.backBuffer.end(), 0u);
}

void sizeClient(uint32_t width, uint32_t height) {
    testHost.calls.push_back("size " + std::to_string(width) + "x" + std::to_string(height));
}

void showWindow() { testHost.calls.push_back("show"); }
void pacingStep() { testHost.calls.push_back("pace"); }
void muteAudio() { testHost.calls.push_back("mute"); }

bool encodePng(const char* path, const uint32_t*, uint32_t, uint32_t, int32_t) {
    testHost.pngs.push_back(path);
    return true;
}

bool fileExists(const char* path) {
    return std::find(testHost.pngs.begin(), testHost.pngs.end(), path) != testHost.pngs.end();
}

void fatalError(const char* message) { throw FatalError(message); }
void shutdownAndExit() { throw FatalError("shutdown"); }
void consoleOut(const char* text) { testHost.console += text; }

bool writeSlot(uint64_t romSetHash, uint8_t slot, const uint8_t* data, size_t size,
               std::string& error) {
    error = testHost.slotFailure;
    if (!error.empty()) return false;
    testHost.slots[{romSetHash, slot}].assign(data, data + size);
    return true;
}

bool readSlot(uint64_t romSetHash, uint8_t slot, std::vector<uint8_t>& data, std::string& error) {
    error = testHost.slotFailure;
    const auto found = testHost.slots.find({romSetHash, slot});
    if (!error.empty() || found == testHost.slots.end()) return false;
    data = found->second;
    return true;
}

} // namespace

void installTestHost() {
    testHost = TestHostRecord{};
    screenWidth = 1280;
    screenHeight = 960;
    testHost.backBuffer.assign(static_cast<size_t>(screenWidth) * screenHeight, 0u);
    keyboardCaptured = true;
    releaseAllKeys();
    std::memset(keysNow, 0, sizeof keysNow);
    std::memset(keysPrev, 0, sizeof keysPrev);
    dropPending = false;
    host = HostOps{lockBackBuffer, unlockBackBuffer, clearBackBuffer, sizeClient,
                   showWindow,     pacingStep,       muteAudio,       encodePng,
                   fileExists,     fatalError,       shutdownAndExit, consoleOut};
    stateStore = StateStoreOps{writeSlot, readSlot};
}
