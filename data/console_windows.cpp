// The console and standard streams on Windows.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>

// After windows.h, whose types it uses.
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "data/console.h"
#include "data/platform.h"

namespace karnwick::platform {

std::vector<std::string> commandArguments(int, const char* const[]) {
    int count = 0;
    LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    // A half of a UTF-16 pair, which no file name should hold, becomes U+FFFD:
    // the word still reaches the command, which names it.
    for (int i = 1; words && i < count; ++i) arguments.push_back(utf8Text(words[i]));
    ::LocalFree(words);
    return arguments;
}

bool isConsole(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

bool isClosedStream(int fd) {
    // -2: the C runtime's word for a stream the process was given no handle for.
    const intptr_t handle = ::_get_osfhandle(fd);
    return handle == -1 || handle == -2;
}

int openNullDevice() {
    return ::_open("NUL", _O_RDWR | _O_BINARY);
}

void useBinaryStandardStreams() {
    ::_setmode(0, _O_BINARY);
    ::_setmode(1, _O_BINARY);
    ::_setmode(2, _O_BINARY);
}

void useParentConsole() {
    auto unset = [](DWORD which) {
        const HANDLE handle = ::GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    };
    // A stream redirected to a file or a pipe stays where it was sent.
    const bool out = unset(STD_OUTPUT_HANDLE), err = unset(STD_ERROR_HANDLE);
    if ((!out && !err) || !::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (out) std::freopen("CONOUT$", "w", stdout);
    if (err) std::freopen("CONOUT$", "w", stderr);
}

std::filesystem::path programFile() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        name.resize(name.size() * 2);
    }
}

std::uint64_t physicalMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return ::GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

}  // namespace karnwick::platform
