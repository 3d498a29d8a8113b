#include "data/file_writer.h"
#include "demo/set.h"

namespace karnwick {

void writeDemoSet(const std::filesystem::path& dir, Existing existing) {
    const DemoSet set = makeDemoSet();
    const std::vector<std::filesystem::path> names = demoFileNames();
    writeFileAtomically(dir / names[0], set.palette, existing);
    writeFileAtomically(dir / names[1], set.sprites, existing);
    writeFileAtomically(dir / names[2], set.records, existing);
}

}  // namespace karnwick
