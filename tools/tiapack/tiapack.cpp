#include "tiapack.h"

#include <sstream>

namespace tiapack {

namespace {

constexpr size_t spritePlaneStride = 0x2000;
constexpr size_t spriteHalfB = 0x1000;
constexpr size_t charBankSize = 0x800;
// Plane 3, half B of the reserved image, rows 7 and 15: eight bytes apart, so
// the first lands in the checksum's high byte and the second in its low byte.
constexpr size_t checksumHighByte = 3 * spritePlaneStride + spriteHalfB + reservedSprite * 16 + 7;
constexpr size_t checksumLowByte = checksumHighByte + 8;

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

bool parseNumber(const std::string& s, int& value) {
    if (s.size() == 3 && s[0] == '\'' && s[2] == '\'') {
        value = static_cast<unsigned char>(s[1]);
        return true;
    }
    try {
        size_t used = 0;
        value = std::stoi(s, &used, 0);
        return used == s.size();
    } catch (...) {
        return false;
    }
}

int pixelValue(char c, int blank) {
    if (c == '.') return blank;
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string lineError(int line, const std::string& what) {
    return "line " + std::to_string(line) + ": " + what;
}

// Bit `bit` of each of 8 pixels, leftmost pixel into bit 7.
uint8_t planeByte(const uint8_t* pixels, int bit) {
    uint8_t b = 0;
    for (int j = 0; j < 8; ++j)
        b |= ((pixels[j] >> bit) & 1) << (7 - j);
    return b;
}

// "recolour FIRST LAST OFFSET FROM TO": copies of the pictures FIRST to LAST
// read so far, numbered OFFSET higher, with colour FROM drawn as TO.
std::string addRecoloured(const std::string& args, std::vector<Picture>& out, int line) {
    std::istringstream words(args);
    int v[5];
    for (int& n : v) {
        std::string w;
        words >> w;
        if (!parseNumber(w, n) || n < 0 || n > 255)
            return lineError(line, "bad recolour '" + args + "'");
    }
    if (v[3] > 15 || v[4] > 15 || v[1] + v[2] > 255)
        return lineError(line, "bad recolour '" + args + "'");
    std::vector<Picture> copies;
    for (const Picture& p : out) {
        if (p.number < v[0] || p.number > v[1]) continue;
        Picture copy = p;
        copy.number += v[2];
        for (uint8_t& px : copy.pixels)
            if (px == v[3]) px = static_cast<uint8_t>(v[4]);
        copies.push_back(copy);
    }
    out.insert(out.end(), copies.begin(), copies.end());
    return "";
}

// The state of one text being read: its pictures go to `out`; `open` tells
// that the last of them still takes rows.
struct PictureText {
    int size;
    const char* keyword;
    int blank;
    std::vector<Picture>& out;
    bool open;
};

bool complete(const PictureText& t) {
    return static_cast<int>(t.out.back().pixels.size()) == t.size * t.size;
}

std::string addRow(PictureText& t, const std::string& row, int line) {
    if (!t.open) return lineError(line, std::string("expected '") + t.keyword + " N'");
    if (complete(t)) return lineError(line, "too many rows");
    if (static_cast<int>(row.size()) != t.size)
        return lineError(line, "row must have " + std::to_string(t.size) + " pixels");
    for (char c : row) {
        int v = pixelValue(c, t.blank);
        if (v < 0) return lineError(line, std::string("bad pixel '") + c + "'");
        t.out.back().pixels.push_back(static_cast<uint8_t>(v));
    }
    return "";
}

// One line: "blank N", "recolour ...", a picture header or a row of pixels.
std::string parseLine(PictureText& t, const std::string& s, int line) {
    std::istringstream words(s);
    std::string word;
    words >> word;
    std::string arg = trim(s.substr(word.size()));
    int n = 0;
    if (word == "blank") {
        if (!parseNumber(arg, n) || n < 0 || n > 15)
            return lineError(line, "bad number '" + arg + "'");
        t.blank = n;
        return "";
    }
    if (word != "recolour" && word != t.keyword) return addRow(t, s, line);
    if (t.open && !complete(t)) return lineError(line, "previous picture is incomplete");
    if (word == "recolour") {
        t.open = false;
        return addRecoloured(arg, t.out, line);
    }
    if (!parseNumber(arg, n) || n < 0 || n > 255)
        return lineError(line, "bad number '" + arg + "'");
    t.out.push_back(Picture{n, t.size, {}});
    t.open = true;
    return "";
}

} // namespace

std::string parsePictures(const std::string& text, int size, std::vector<Picture>& out) {
    PictureText t{size, size == 16 ? "sprite" : "char", size == 16 ? 15 : 0, out, false};
    std::istringstream in(text);
    std::string raw;
    for (int line = 1; std::getline(in, raw); ++line) {
        std::string s = trim(raw.substr(0, raw.find(';')));
        if (s.empty()) continue;
        std::string err = parseLine(t, s, line);
        if (!err.empty()) return err;
    }
    if (t.open && !complete(t)) return "last picture is incomplete";
    return "";
}

void placeSprite(Bytes& spriteRom, const Picture& sprite) {
    for (int l = 0; l < 16; ++l) {
        const uint8_t* row = &sprite.pixels[l * 16];
        size_t a = sprite.number * 16 + l;
        for (int p = 0; p < 4; ++p) {
            spriteRom[p * spritePlaneStride + a] = planeByte(row, p);
            spriteRom[p * spritePlaneStride + spriteHalfB + a] = planeByte(row + 8, p);
        }
    }
}

void placeChar(Bytes& block, size_t planeStride, size_t base, const Picture& chr) {
    for (int l = 0; l < 8; ++l)
        for (int p = 0; p < 4; ++p)
            block[p * planeStride + base + chr.number * 8 + l] = planeByte(&chr.pixels[l * 8], p);
}

void forceChecksum(Bytes& spriteRom, SetKind kind) {
    spriteRom[checksumHighByte] = 0;
    spriteRom[checksumLowByte] = 0;
    uint16_t sum = romChecksum(spriteRom.data(), spriteRomBytes);
    if (kind == SetKind::tiaMc1Digital) {
        if (sum == tiaMc2Checksum || sum == analogChecksum) spriteRom[checksumLowByte] = 1;
        return;
    }
    // Rotation and XOR are linear: a byte 8 places before the end enters the
    // sum shifted left by 8, the last byte unshifted.
    uint16_t want = kind == SetKind::tiaMc2 ? tiaMc2Checksum : analogChecksum;
    uint16_t diff = sum ^ want;
    spriteRom[checksumHighByte] = static_cast<uint8_t>(diff >> 8);
    spriteRom[checksumLowByte] = static_cast<uint8_t>(diff);
}

std::string buildRomSet(SetKind kind, const Bytes& program, const std::vector<Picture>& sprites,
                        const std::vector<std::vector<Picture>>& charBanks, Bytes& out) {
    bool mc2 = kind == SetKind::tiaMc2;
    size_t programMax = mc2 ? tiaMc2ProgramBytes : tiaMc1ProgramBytes;
    if (program.size() > programMax) return "program is larger than the board's program space";
    if (charBanks.size() > (mc2 ? 4u : 0u)) return "character banks are for a TIA-MC-2 set only";
    out.assign(romSetBytes, 0);
    Bytes spriteRom(spriteRomBytes, 0xFF);
    for (const Picture& s : sprites) {
        if (s.number == reservedSprite) return "sprite 255 is kept for the checksum";
        placeSprite(spriteRom, s);
    }
    forceChecksum(spriteRom, kind);
    std::copy(spriteRom.begin(), spriteRom.end(), out.begin());
    size_t programAt = mc2 ? tiaMc2ProgramOffset : tiaMc1ProgramOffset;
    std::copy(program.begin(), program.end(), out.begin() + programAt);
    if (!mc2) return "";
    Bytes charRom(charRomBytes, 0);
    for (size_t bank = 0; bank < charBanks.size(); ++bank)
        for (const Picture& c : charBanks[bank])
            placeChar(charRom, 0x2000, bank * charBankSize, c);
    std::copy(charRom.begin(), charRom.end(), out.begin() + spriteRomBytes);
    return "";
}

Bytes charRamImage(const std::vector<Picture>& chars) {
    Bytes image(charRamBytes, 0);
    for (const Picture& c : chars)
        placeChar(image, charBankSize, 0, c);
    return image;
}

} // namespace tiapack
