#pragma once
// The process's console and standard streams, which POSIX and Windows give
// differently: one implementation per system (console_posix.cpp,
// console_windows.cpp), chosen by the build like the rest of the platform
// layer.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace karnwick::platform {

// Whether descriptor `fd` is a console (a terminal on POSIX), where a picture
// is never written. On Windows the null device is a character device but no
// console, and counts as none.
bool isConsole(int fd);

// Whether standard stream `fd` is closed (the program was started without it).
bool isClosedStream(int fd);

// Opens the null device (/dev/null, NUL) for reading and writing; the lowest
// free descriptor, or -1.
int openNullDevice();

// Standard input and output carry bytes as they are, so that every text, CSV,
// JSON and PNG output is byte for byte the same on every system (Windows would
// otherwise write "\r\n" for "\n", and stop reading at a Ctrl+Z byte).
void useBinaryStandardStreams();

// For a program without a console of its own (the arena on Windows): what it
// prints goes to the console of the command line that started it, when there
// is one and the output was not redirected. Nothing to do on POSIX.
void useParentConsole();

// The program's arguments after its name, as bytes: argv's own on POSIX; on
// Windows the UTF-8 of the wide command line, since argv there holds only what
// the ANSI code page can spell.
std::vector<std::string> commandArguments(int argc, const char* const argv[]);

// The running program's own file, or an empty path when it cannot be had.
std::filesystem::path programFile();

// The machine's memory in bytes, or 0 when it cannot be had.
std::uint64_t physicalMemory();

}  // namespace karnwick::platform
