#include "app/font_configuration.h"

#include <fontconfig/fontconfig.h>

namespace arena {

std::jthread startReadingFontConfiguration() {
    return std::jthread([] { FcInit(); });
}

}  // namespace arena
