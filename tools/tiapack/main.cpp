// tiapack: packs an assembled board program and text-drawn graphics into a
// ".tia" ROM set, or turns TIA-MC-1 characters into a character RAM image.
//
//   tiapack rom KIND PROGRAM SPRITES [CHARBANK...] OUT
//       KIND: mc1 (digital controls), mc1-analog or mc2; a character bank is
//       one or more text files joined by commas
//   tiapack charram OUT CHARS...
#include "tiapack.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

bool readFile(const char* path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return true;
}

bool writeFile(const char* path, const tiapack::Bytes& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

bool loadPictures(const char* path, int size, std::vector<tiapack::Picture>& out) {
    std::string text;
    if (!readFile(path, text)) {
        std::fprintf(stderr, "tiapack: cannot read %s\n", path);
        return false;
    }
    std::string err = tiapack::parsePictures(text, size, out);
    if (!err.empty()) std::fprintf(stderr, "tiapack: %s: %s\n", path, err.c_str());
    return err.empty();
}

bool parseKind(const std::string& s, tiapack::SetKind& kind) {
    if (s == "mc1")
        kind = tiapack::SetKind::tiaMc1Digital;
    else if (s == "mc1-analog")
        kind = tiapack::SetKind::tiaMc1Analog;
    else if (s == "mc2")
        kind = tiapack::SetKind::tiaMc2;
    else
        return false;
    return true;
}

int packRom(int argc, char** argv) {
    tiapack::SetKind kind;
    if (argc < 6 || !parseKind(argv[2], kind)) return 2;
    std::string program;
    if (!readFile(argv[3], program)) {
        std::fprintf(stderr, "tiapack: cannot read %s\n", argv[3]);
        return 1;
    }
    std::vector<tiapack::Picture> sprites;
    if (!loadPictures(argv[4], 16, sprites)) return 1;
    std::vector<std::vector<tiapack::Picture>> banks;
    for (int i = 5; i < argc - 1; ++i) {
        banks.emplace_back();
        std::istringstream files(argv[i]);
        for (std::string file; std::getline(files, file, ',');)
            if (!loadPictures(file.c_str(), 8, banks.back())) return 1;
    }
    tiapack::Bytes image;
    std::string err = tiapack::buildRomSet(kind, tiapack::Bytes(program.begin(), program.end()),
                                           sprites, banks, image);
    if (!err.empty()) {
        std::fprintf(stderr, "tiapack: %s\n", err.c_str());
        return 1;
    }
    if (!writeFile(argv[argc - 1], image)) return 1;
    std::printf("%s: checksum 0x%04X\n", argv[argc - 1], romChecksum(image.data(), spriteRomBytes));
    return 0;
}

int packCharRam(int argc, char** argv) {
    if (argc < 4) return 2;
    std::vector<tiapack::Picture> chars;
    for (int i = 3; i < argc; ++i)
        if (!loadPictures(argv[i], 8, chars)) return 1;
    return writeFile(argv[2], tiapack::charRamImage(chars)) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    int rc = 2;
    if (mode == "rom")
        rc = packRom(argc, argv);
    else if (mode == "charram")
        rc = packCharRam(argc, argv);
    if (rc == 2)
        std::fprintf(stderr,
                     "usage: tiapack rom mc1|mc1-analog|mc2 PROGRAM SPRITES [CHARBANK...] OUT\n"
                     "       tiapack charram OUT CHARS...\n");
    return rc;
}
