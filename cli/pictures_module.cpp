// The entry of karnwick-pictures.so, which the karnwick program loads for a
// command that draws; everything else it calls is the program's own.

#include "cli/pictures.h"

extern "C" Q_DECL_EXPORT const karnwick::cli::Pictures* karnwickPictures() {
    return &karnwick::cli::linkedPictures();
}
