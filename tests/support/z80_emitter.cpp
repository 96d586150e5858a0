#include "tests/support/z80_emitter.h"

#include <stdexcept>

Z80Emitter& Z80Emitter::org(uint16_t address) {
    cursor = address;
    return *this;
}

Z80Emitter& Z80Emitter::label(const std::string& name) {
    if (!labels.emplace(name, cursor).second) throw std::invalid_argument("label twice: " + name);
    return *this;
}

Z80Emitter& Z80Emitter::op(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes)
        memory[cursor++] = b;
    return *this;
}

Z80Emitter& Z80Emitter::word(uint16_t value) {
    return op({static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
}

Z80Emitter& Z80Emitter::absolute(uint8_t opcode, const std::string& target) {
    op({opcode});
    fixups.push_back({cursor, target, false});
    return word(0);
}

Z80Emitter& Z80Emitter::relative(uint8_t opcode, const std::string& target) {
    op({opcode});
    fixups.push_back({cursor, target, true});
    return op({0});
}

uint16_t Z80Emitter::addressOf(const std::string& name) const {
    const auto found = labels.find(name);
    if (found == labels.end()) throw std::invalid_argument("unknown label: " + name);
    return found->second;
}

std::vector<uint8_t> Z80Emitter::image() const {
    std::vector<uint8_t> result = memory;
    for (const Fixup& f : fixups) {
        const uint16_t target = addressOf(f.target);
        if (f.relative) {
            const int distance = target - (f.at + 1);
            if (distance < -128 || distance > 127) throw std::out_of_range("jr to " + f.target);
            result[f.at] = static_cast<uint8_t>(distance);
        } else {
            result[f.at] = static_cast<uint8_t>(target);
            result[static_cast<uint16_t>(f.at + 1)] = static_cast<uint8_t>(target >> 8);
        }
    }
    return result;
}
