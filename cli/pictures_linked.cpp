// The pictures of a binary that links Qt's graphics anyway: the tests and the
// fuzzers.

#include "cli/pictures.h"

namespace karnwick::cli {

const Pictures& pictures() {
    return linkedPictures();
}

}  // namespace karnwick::cli
