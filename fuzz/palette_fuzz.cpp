// Feeds arbitrary text to the palette reader: it must load or report a
// GameError, whatever the file holds.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "data/errors.h"
#include "data/palette.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/karnwick-palette-fuzz-" + std::to_string(::getpid());
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    karnwick::Palette palette;
    try {
        karnwick::loadPalette(palette, path);
        karnwick::makeColorFromRGB(palette);
    } catch (const karnwick::GameError&) {
    }
    return 0;
}
