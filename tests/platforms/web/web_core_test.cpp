// The page's portable pieces: key codes from DOM codes, key events between
// frames, focus, game pads, pacing from animation-frame times and the canvas
// byte order.
#include "host/gamepad.h"
#include "host/host.h"
#include "host/keycodes.h"
#include "platforms/web/canvas_pixels.h"
#include "platforms/web/frame_clock.h"
#include "platforms/web/web_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(WebKeys, DomCodesGiveTheKeyCodesOfTheOtherHosts) {
    const struct {
        const char* code;
        uint8_t keyCode;
        bool withheld;
    } cases[] = {
        {"ArrowLeft", leftArrowKey, true},
        {"ArrowRight", rightArrowKey, true},
        {"ArrowUp", upArrowKey, true},
        {"ArrowDown", downArrowKey, true},
        {"Space", spaceKey, true},
        {"ControlLeft", leftCtrlKey, true},
        {"Enter", enterKey, true},
        {"KeyT", tKey, true},
        {"Delete", deleteKey, true},
        {"PrintScreen", printScreenKey, true},
        {"Pause", pauseKey, true},
        {"ScrollLock", scrollLockKey, true},
        {"ShiftLeft", leftShiftKey, true},
        {"KeyF", fKey, true},
        {"MetaLeft", leftWindowsKey, true},
        {"OSLeft", leftWindowsKey, true},
        {"F11", 0x57, true},
        {"F9", f9Key, true},
        {"NumpadEnter", 0x9C, false},
        {"ControlRight", 0x9D, false},
        {"KeyR", 0x13, false},
        {"F5", 0x3F, false},
        {"F12", 0x58, false},
        {"Tab", 0x0F, false},
        {"Escape", 0x01, false},
        {"Lang1", 0, false},
        {"", 0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(keyCodeForDomCode(c.code), c.keyCode) << c.code;
        EXPECT_EQ(keyWithheldFromPage(keyCodeForDomCode(c.code)), c.withheld) << c.code;
    }
}

// A step of a key history: an event, or a frame whose snapshot is recorded.
struct Step {
    enum Kind { down, up, frame, blur, focus } kind;
    uint8_t key;
};

// What keysNow[key] showed in each frame's snapshot, as a string of 0 and 1.
std::string play(const std::vector<Step>& steps, uint8_t key) {
    webFocus(false);
    webFocus(true);
    std::memset(keysNow, 0, sizeof keysNow);
    std::string seen;
    for (const Step& s : steps) {
        switch (s.kind) {
        case Step::down: webKeyEvent(s.key, true); break;
        case Step::up: webKeyEvent(s.key, false); break;
        case Step::blur: webFocus(false); break;
        case Step::focus: webFocus(true); break;
        case Step::frame:
            webBeforeFrame();
            saveKeysPrev();
            snapshotKeys();
            seen += (keysNow[key] & 0x80) ? '1' : '0';
            break;
        }
    }
    return seen;
}

TEST(WebKeys, EveryPressShowsInAFrameAndTheFocusReleasesKeys) {
    constexpr auto F = Step{Step::frame, 0};
    const auto D = [](uint8_t k) { return Step{Step::down, k}; };
    const auto U = [](uint8_t k) { return Step{Step::up, k}; };
    const Step blur{Step::blur, 0};
    const Step focus{Step::focus, 0};
    const struct {
        const char* what;
        std::vector<Step> steps;
        uint8_t key;
        const char* seen;
    } cases[] = {
        {"held over frames", {D(spaceKey), F, F, U(spaceKey), F}, spaceKey, "110"},
        {"tap between two frames", {F, D(spaceKey), U(spaceKey), F, F}, spaceKey, "010"},
        {"double tap between two frames",
         {F, D(spaceKey), U(spaceKey), D(spaceKey), U(spaceKey), F, F, F, F},
         spaceKey,
         "01010"},
        {"released and pressed again between two frames",
         {D(fKey), F, U(fKey), D(fKey), F, F},
         fKey,
         "101"},
        {"Print Screen: release alone", {F, U(printScreenKey), F, F}, printScreenKey, "010"},
        {"Left Ctrl held as the focus came, released here",
         {blur, focus, F, U(leftCtrlKey), F, F},
         leftCtrlKey,
         "000"},
        {"Enter: release alone", {F, U(enterKey), F, F}, enterKey, "000"},
        {"Pause: release alone", {F, U(pauseKey), F, F}, pauseKey, "000"},
        {"key repeat", {D(tKey), F, D(tKey), F, U(tKey), F}, tKey, "110"},
        {"Pause: five snapshots",
         {D(pauseKey), U(pauseKey), F, F, F, F, F, F, F},
         pauseKey,
         "1111100"},
        {"held while the focus goes",
         {D(leftArrowKey), F, blur, F, focus, F, F},
         leftArrowKey,
         "1000"},
        {"released while away", {D(enterKey), F, blur, U(enterKey), focus, F}, enterKey, "10"},
        {"pressed while away", {blur, D(enterKey), focus, F}, enterKey, "0"},
        {"tap then the focus goes", {D(spaceKey), U(spaceKey), blur, focus, F}, spaceKey, "0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(play(c.steps, c.key), c.seen) << c.what;
}

TEST(WebPads, StandardButtonsAndTheLeftStickPressTheCabinetKeys) {
    const struct {
        int button; // -1: none
        double x, y;
        std::vector<uint8_t> keys;
    } cases[] = {
        {12, 0, 0, {upArrowKey}},
        {13, 0, 0, {downArrowKey}},
        {14, 0, 0, {leftArrowKey}},
        {15, 0, 0, {rightArrowKey}},
        {0, 0, 0, {spaceKey}},
        {1, 0, 0, {leftCtrlKey}},
        {2, 0, 0, {tKey}},
        {9, 0, 0, {enterKey}},
        {3, 0, 0, {}},
        {8, 0, 0, {}},
        {16, 0, 0, {}},
        {-1, -0.9, 0.1, {leftArrowKey}},
        {-1, 0.6, 0.6, {rightArrowKey, downArrowKey}},
        {-1, 0.3, -0.4, {}},
        {-1, NAN, NAN, {}},
        {0, 0, -1.5, {spaceKey, upArrowKey}},
    };
    webFocus(true);
    for (const auto& c : cases) {
        bool pressed[standardPadButtons] = {};
        if (c.button >= 0) pressed[c.button] = true;
        const double axes[4] = {c.x, c.y, 0.7, 0.7}; // the right stick does nothing
        webPadState(1, pressed, standardPadButtons, axes, 4);
        releaseAllKeys();
        snapshotKeys();
        std::vector<uint8_t> down;
        for (int k = 0; k < 256; ++k) {
            if (keysNow[k] & 0x80) down.push_back(static_cast<uint8_t>(k));
        }
        std::vector<uint8_t> expected = c.keys;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(down, expected) << "button " << c.button << ", stick " << c.x << ", " << c.y;
    }
    webPadGone(1);
    snapshotKeys();
    EXPECT_EQ(keysNow[spaceKey] | keysNow[upArrowKey], 0) << "a pad gone holds nothing";
}

// Board frames run over a stretch of animation frames at a display rate,
// with an optional stall (a tab in the background) in the middle.
struct Pacing {
    int total;
    int mostInOneAnimationFrame;
    int afterTheStall;
};

Pacing pace(double refreshHz, double seconds, double stallMs) {
    FrameClock clock;
    startFrameClock(clock);
    Pacing result{0, 0, -1};
    const double interval = 1000.0 / refreshHz;
    const int animationFrames = static_cast<int>(seconds * refreshHz);
    double now = 1000.0;
    for (int i = 0; i < animationFrames; ++i) {
        // A little jitter, as a browser's animation frame times have.
        now += interval + ((i % 3) - 1) * 0.3;
        if (stallMs > 0 && i == animationFrames / 2) now += stallMs;
        const int due = boardFramesDue(clock, now);
        if (stallMs > 0 && i == animationFrames / 2) result.afterTheStall = due;
        result.total += due;
        result.mostInOneAnimationFrame = std::max(result.mostInOneAnimationFrame, due);
    }
    return result;
}

TEST(WebPacing, OneFramePerRefreshUpTo75HzAndSixtyASecondAbove) {
    const struct {
        double hz;
        int low, high; // board frames over 10 s (60 a second while measuring)
        bool locked;
    } cases[] = {
        {50, 500, 500, true},   {59.94, 599, 599, true}, {60, 600, 600, true},
        {75, 750, 750, true},   {75.3, 753, 753, true},  {76, 590, 610, false},
        {100, 590, 610, false}, {120, 590, 610, false},  {144, 590, 610, false},
        {240, 590, 610, false},
    };
    for (const auto& c : cases) {
        FrameClock clock;
        startFrameClock(clock);
        for (int i = 0; i < 40; ++i)
            boardFramesDue(clock, i * 1000.0 / c.hz);
        EXPECT_EQ(clock.lockedToRefresh, c.locked) << c.hz << " Hz";
        EXPECT_NEAR(clock.refreshHz, c.hz, c.hz * 0.02) << c.hz << " Hz";
        const Pacing p = pace(c.hz, 10, 0);
        EXPECT_GE(p.total, c.low) << c.hz << " Hz";
        EXPECT_LE(p.total, c.high) << c.hz << " Hz";
        EXPECT_LE(p.mostInOneAnimationFrame, c.locked ? 1 : 2) << c.hz << " Hz";
        // Five seconds in the background: one frame on return, no burst.
        const Pacing stalled = pace(c.hz, 10, 5000);
        EXPECT_EQ(stalled.afterTheStall, 1) << c.hz << " Hz";
        EXPECT_LE(stalled.total, p.total + 1) << c.hz << " Hz";
    }
}

// Animation frames intervalMs apart for so many seconds (one, for a gap).
struct Stretch {
    double intervalMs, seconds;
};

constexpr double hz60 = 1000.0 / 60, hz144 = 1000.0 / 144;
constexpr int settling = -1; // a second only checked for a plausible count

TEST(WebPacing, SixtyBoardFramesASecondWhateverTheDisplayDoesOnTheWay) {
    const struct {
        const char* what;
        std::vector<Stretch> stretches;
        std::vector<int> perSecond; // board frames in each second of page time
        bool lockedAtTheEnd;
    } cases[] = {
        {"60 Hz", {{hz60, 5}}, {60, 60, 60, 60, 60}, true},
        {"144 Hz", {{hz144, 5}}, {settling, 60, 60, 60, 60}, false},
        {"60 Hz, then 144 Hz", {{hz60, 3}, {hz144, 3}}, {60, 60, 60, settling, 60, 60}, false},
        {"144 Hz, then 60 Hz", {{hz144, 2}, {hz60, 3}}, {settling, 60, 60, 60, 60}, true},
        {"a stutter as the page starts, then 144 Hz",
         {{30, 0.3}, {22, 0.22}, {hz144, 4.48}},
         {settling, 60, 60, 60, 60},
         false},
        {"144 Hz, 5 s in the background, 144 Hz",
         {{hz144, 2}, {5000, 5}, {hz144, 3}},
         {settling, 60, 0, 0, 0, 0, 0, 60, 60, 60},
         false},
    };
    for (const auto& c : cases) {
        FrameClock clock;
        startFrameClock(clock);
        std::vector<int> seen(c.perSecond.size());
        double now = 0;
        int i = 0;
        for (const Stretch& s : c.stretches) {
            const long count = std::max(1L, std::lround(s.seconds * 1000.0 / s.intervalMs));
            for (long n = 0; n < count; ++n, ++i) {
                const int due = boardFramesDue(clock, 1000.0 + now);
                ASSERT_LE(due, 2) << c.what << ", animation frame " << i;
                seen.at(static_cast<size_t>(now / 1000.0)) += due;
                now += s.intervalMs + ((i % 3) - 1) * 0.3; // a little jitter
            }
        }
        for (size_t second = 0; second < seen.size(); ++second) {
            const int wanted = c.perSecond[second];
            const bool near = wanted == settling ? seen[second] >= 45 && seen[second] <= 80
                                                 : std::abs(seen[second] - wanted) <= 1;
            EXPECT_TRUE(near) << c.what << ", second " << second << ": " << seen[second];
        }
        EXPECT_EQ(clock.lockedToRefresh, c.lockedAtTheEnd) << c.what;
    }
}

TEST(WebCanvas, PixelsBecomeRgbaBytesRowByRow) {
    // A 3 x 2 rectangle out of a buffer 4 pixels wide.
    const uint32_t buffer[8] = {0x00112233, 0x00FF0000, 0x0000FF00, 0xDEADBEEF,
                                0x000000FF, 0x00FFFFFF, 0x00000000, 0xDEADBEEF};
    uint32_t out[6];
    toCanvasPixels(buffer, 4 * sizeof(uint32_t), 3, 2, out);
    const uint8_t expected[24] = {0x11, 0x22, 0x33, 0xFF, 0xFF, 0,    0,    0xFF, 0, 0xFF, 0, 0xFF,
                                  0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0,    0, 0xFF};
    EXPECT_EQ(std::memcmp(out, expected, sizeof expected), 0);
}

} // namespace
