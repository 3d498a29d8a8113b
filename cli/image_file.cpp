#include "cli/image_file.h"

#include <QBuffer>
#include <QImageWriter>

#include "cli/commands.h"

namespace karnwick::cli {

std::string encodedImage(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        throw CommandError("cannot encode the image: " + writer.errorString().toStdString());
    return bytes.toStdString();
}

QByteArray imageFormatFor(const std::filesystem::path& file) {
    std::string suffix = file.extension().string();
    if (!suffix.empty()) suffix.erase(0, 1);
    const QByteArray format = QByteArray::fromStdString(suffix).toLower();
    return QImageWriter::supportedImageFormats().contains(format) ? format : QByteArray("png");
}

}  // namespace karnwick::cli
