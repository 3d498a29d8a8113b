#pragma once
// Pictures the command line writes: encoded in memory first, so the encoder
// never meets a failing file (and prints nothing of its own), then written
// through the project's one writer.

#include <QImage>
#include <filesystem>
#include <string>

#include "data/file_writer.h"

namespace karnwick::cli {

// The image in `format` ("png", "jpg", ...); throws a CommandError when the
// encoder refuses it.
std::string encodedImage(const QImage& image, const char* format = "png");

// The format `file`'s suffix names when Qt can write it, else "png".
QByteArray imageFormatFor(const std::filesystem::path& file);

}  // namespace karnwick::cli
