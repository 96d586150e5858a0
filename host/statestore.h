// Where the state slots live: a record of function pointers each host fills
// with its own storage (files on Linux and on Windows). Both are null where
// the host keeps no slots; the machine then says so instead of saving.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct StateStoreOps {
    // Stores the bytes as slot `slot` of the ROM set `romSetHash`, replacing
    // what was there only once the new bytes are all stored. False with the
    // reason in error; the old slot is then as it was.
    bool (*write)(uint64_t romSetHash, uint8_t slot, const uint8_t* data, size_t size,
                  std::string& error);
    // Reads the slot into data. False with an empty error when the slot is
    // empty, with the reason in error when it cannot be read.
    bool (*read)(uint64_t romSetHash, uint8_t slot, std::vector<uint8_t>& data, std::string& error);
};

extern StateStoreOps stateStore;

// Slots 0 to 9.
constexpr uint8_t stateSlotCount = 10;
