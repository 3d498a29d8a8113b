#include "app/font_configuration.h"

#ifndef _WIN32
#include <fontconfig/fontconfig.h>
#endif

namespace arena {

std::jthread startReadingFontConfiguration() {
#ifdef _WIN32
    // Windows has its fonts at hand: there is nothing to read first.
    return {};
#else
    return std::jthread([] { FcInit(); });
#endif
}

}  // namespace arena
