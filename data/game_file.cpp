#include "data/game_file.h"

#include <algorithm>

#include "data/errors.h"
#include "data/platform.h"
#include "data/set_recovery.h"

namespace karnwick {

namespace {

[[noreturn]] void raiseAccess(const std::string& name, const std::error_code& error) {
    throw GameError(ErrorKind::FileAccess, name, "(" + error.message() + ")");
}

}  // namespace

GameFile::GameFile(const std::filesystem::path& path) : m_name(platform::pathText(path)) {
    // Every reader of a game file comes through here, so a set that a killed
    // command left half replaced is finished before any of it is read.
    settleGameFolder(path.parent_path());
    const platform::OpenedFile opened = platform::openForReading(path);
    if (opened.missing) return;  // a missing game file reads as an empty one
    if (opened.notRegular) throw GameError(ErrorKind::NotRegularFile, m_name);
    if (opened.handle == platform::kNoHandle) raiseAccess(m_name, opened.error);
    m_handle = opened.handle;
}

GameFile::~GameFile() {
    platform::closeHandle(m_handle);
}

std::int64_t GameFile::size() const {
    if (m_handle == platform::kNoHandle) return 0;
    std::error_code error;
    const std::int64_t size = platform::fileSize(m_handle, error);
    if (error) raiseAccess(m_name, error);
    return size;
}

std::size_t GameFile::readAt(std::int64_t offset, std::span<unsigned char> out) const {
    std::fill(out.begin(), out.end(), 0);
    if (m_handle == platform::kNoHandle) return 0;
    // Bytes before the start of the file stay 0, like those past its end.
    std::size_t skip = 0;
    if (offset < 0) {
        if (-offset >= static_cast<std::int64_t>(out.size())) return 0;
        skip = static_cast<std::size_t>(-offset);
        offset = 0;
    }
    std::size_t done = skip;
    while (done < out.size()) {
        std::error_code error;
        const std::int64_t n =
            platform::readAt(m_handle, offset + static_cast<std::int64_t>(done - skip),
                             out.data() + done, out.size() - done, error);
        if (n < 0) raiseAccess(m_name, error);
        if (n == 0) break;  // end of file: the rest stays 0
        done += static_cast<std::size_t>(n);
    }
    return done - skip;
}

}  // namespace karnwick
