// Writes TARGET through the writer: SIZE bytes, every one of them BYTE, in
// chunks, so that a test can kill it at any moment of a large write.
#include <cstdlib>
#include <string>

#include "data/file_writer.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::size_t size = std::strtoull(argv[2], nullptr, 10);
    const std::string chunk(64 * 1024, static_cast<char>(std::atoi(argv[3])));
    karnwick::AtomicFile file(argv[1], karnwick::Existing::Replace);
    for (std::size_t done = 0; done < size; done += chunk.size())
        file.write(std::string_view(chunk).substr(0, std::min(chunk.size(), size - done)));
    file.commit();
    return 0;
}
