#include "machines/tiamc/crc32.h"

#include <array>
#include <cstring>

namespace {

using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

// Table k gives the CRC of a byte followed by k zero bytes.
constexpr CrcTables buildTables() {
    CrcTables t{};
    for (uint32_t byte = 0; byte < 256; ++byte) {
        uint32_t crc = byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        t[0][byte] = crc;
    }
    for (size_t k = 1; k < 8; ++k) {
        for (uint32_t byte = 0; byte < 256; ++byte)
            t[k][byte] = (t[k - 1][byte] >> 8) ^ t[0][t[k - 1][byte] & 0xFF];
    }
    return t;
}

constexpr CrcTables tables = buildTables();

uint32_t littleEndian32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

} // namespace

uint32_t crc32Of(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (; size >= 8; data += 8, size -= 8) {
        const uint32_t low = littleEndian32(data) ^ crc;
        const uint32_t high = littleEndian32(data + 4);
        crc = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^
              tables[4][low >> 24] ^ tables[3][high & 0xFF] ^ tables[2][(high >> 8) & 0xFF] ^
              tables[1][(high >> 16) & 0xFF] ^ tables[0][high >> 24];
    }
    for (; size > 0; ++data, --size)
        crc = (crc >> 8) ^ tables[0][(crc ^ *data) & 0xFF];
    return ~crc;
}
