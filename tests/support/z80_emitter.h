// A tiny Z80 byte emitter for tests: writes instructions anywhere in a 64 KB
// image, with forward and backward labels resolved when the image is taken.
// Only the instructions the tests need have names; op() writes any other.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

struct Z80Emitter {
    Z80Emitter& org(uint16_t address);
    Z80Emitter& label(const std::string& name);
    Z80Emitter& op(std::initializer_list<uint8_t> bytes);
    Z80Emitter& word(uint16_t value);

    Z80Emitter& halt() { return op({0x76}); }
    Z80Emitter& di() { return op({0xF3}); }
    Z80Emitter& ei() { return op({0xFB}); }
    Z80Emitter& im1() { return op({0xED, 0x56}); }
    Z80Emitter& reti() { return op({0xED, 0x4D}); }
    Z80Emitter& incA() { return op({0x3C}); }
    Z80Emitter& incHl() { return op({0x23}); }
    Z80Emitter& ldA(uint8_t n) { return op({0x3E, n}); }
    Z80Emitter& andN(uint8_t n) { return op({0xE6, n}); }
    Z80Emitter& inA(uint8_t port) { return op({0xDB, port}); }
    Z80Emitter& outA(uint8_t port) { return op({0xD3, port}); }
    Z80Emitter& ldSp(uint16_t nn) { return op({0x31}).word(nn); }
    Z80Emitter& ldHl(uint16_t nn) { return op({0x21}).word(nn); }
    Z80Emitter& ldMemA(uint16_t nn) { return op({0x32}).word(nn); }
    Z80Emitter& ldAMem(uint16_t nn) { return op({0x3A}).word(nn); }
    Z80Emitter& ldAtHlA() { return op({0x77}); }
    Z80Emitter& jp(const std::string& target) { return absolute(0xC3, target); }
    Z80Emitter& jr(const std::string& target) { return relative(0x18, target); }
    Z80Emitter& jrZ(const std::string& target) { return relative(0x28, target); }

    // The 64 KB image (unwritten bytes 0x00); throws on an unknown label or a
    // relative jump out of reach.
    std::vector<uint8_t> image() const;

  private:
    struct Fixup {
        uint16_t at;
        std::string target;
        bool relative;
    };
    Z80Emitter& absolute(uint8_t opcode, const std::string& target);
    Z80Emitter& relative(uint8_t opcode, const std::string& target);
    uint16_t addressOf(const std::string& name) const;

    std::vector<uint8_t> memory = std::vector<uint8_t>(0x10000, 0);
    uint16_t cursor = 0;
    std::map<std::string, uint16_t> labels;
    std::vector<Fixup> fixups;
};
