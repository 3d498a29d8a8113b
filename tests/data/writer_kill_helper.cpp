// Writes a set through the writer and stops dead at a chosen moment:
//   writer_kill_helper set|whole DIR BYTE STEP N
// writes the files a, b and c (64 KiB of BYTE each) as one set into DIR (in
// place, or as a whole new folder swapped in), ending the program with
// status 9 at the N-th call of STEP (rename, link, fsync, mkdir or
// exchange), as kill -9 or a power cut would at that moment.
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/file_set.h"
#include "data/writer_calls.h"

namespace {

const char* g_step = "";
int g_left = 0;

void dieAt(const char* step) {
    if (std::strcmp(step, g_step) == 0 && --g_left == 0) std::_Exit(9);
}

using namespace karnwick;

int writeSet(const char* dir, char byte, SetCommit how) {
    static const WriterCalls real = writerCalls();
    WriterCalls& calls = writerCalls();
    calls.rename = [](const char* a, const char* b) { return dieAt("rename"), real.rename(a, b); };
    calls.renameNoReplace = [](const char* a, const char* b) {
        return dieAt("rename"), real.renameNoReplace(a, b);
    };
    calls.link = [](const char* a, const char* b) { return dieAt("link"), real.link(a, b); };
    calls.fsync = [](int fd) { return dieAt("fsync"), real.fsync(fd); };
    calls.mkdir = [](const char* p, mode_t m) { return dieAt("mkdir"), real.mkdir(p, m); };
    calls.exchange = [](const char* a, const char* b) {
        return dieAt("exchange"), real.exchange(a, b);
    };
    const std::string bytes(64 * 1024, byte);
    FileSet set(dir, Existing::Replace, how);
    for (const char* name : {"a", "b", "c"}) set.add(name, bytes);
    set.commit();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool whole = argc == 6 && std::strcmp(argv[1], "whole") == 0;
    if (argc == 6 && (whole || std::strcmp(argv[1], "set") == 0)) {
        g_step = argv[4];
        g_left = std::atoi(argv[5]);
        return writeSet(argv[2], static_cast<char>(std::atoi(argv[3])),
                        whole ? SetCommit::WholeFolder : SetCommit::InPlace);
    }
    return 2;
}
