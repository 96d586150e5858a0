// Key translation and the record-or-withhold decision of the keyboard hook.
#include "platforms/win32/hookkeys.h"

#include "host/host.h"
#include "platforms/common/keytable.h"

#include <array>

namespace {
constexpr uint8_t vkCapital = 0x14, vkLeftWindows = 0x5B, vkApps = 0x5D, vkNumLock = 0x90,
                  vkScroll = 0x91;

// The hook's two tables, taken from the key table's Windows column: the
// navigation block and Enter give other keys without the extended flag (the
// numeric keypad's), as keypad keys do while Num Lock is off.
std::array<uint8_t, 256> buildTable(bool extended) {
    std::array<uint8_t, 256> table{};
    for (const KeyRow& row : keyTable) {
        const bool fits = row.vkFlag == VkFlag::any ||
                          row.vkFlag == (extended ? VkFlag::extended : VkFlag::plain);
        if (fits) table[row.virtualKey] = row.code;
        if (!extended && row.numLockOffVirtualKey) table[row.numLockOffVirtualKey] = row.code;
    }
    return table;
}

} // namespace

const std::array<uint8_t, 256> keyCodeTable = buildTable(false);
const std::array<uint8_t, 256> extendedKeyCodeTable = buildTable(true);

uint8_t keyCodeOf(uint32_t virtualKey, uint32_t flags) {
    const uint8_t vk = static_cast<uint8_t>(virtualKey);
    return (flags & hookFlagExtended) ? extendedKeyCodeTable[vk] : keyCodeTable[vk];
}

bool recordHookedKey(uint32_t virtualKey, uint32_t flags) {
    const uint8_t vk = static_cast<uint8_t>(virtualKey);
    // Lock-key presses the program synthesizes itself, and input other
    // programs inject, reach the desktop and stay out of the emulation.
    if (flags & hookFlagInjected) return false;
    if (!recordCapturedKey(keyCodeOf(vk, flags), (flags & hookFlagUp) == 0)) return false;
    return vk == vkCapital || vk == vkNumLock || vk == vkScroll || vk == vkLeftWindows ||
           vk == vkApps;
}
