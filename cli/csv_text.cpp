#include "cli/csv_text.h"

#include <cstdio>

#include "cli/commands.h"
#include "data/record_fields.h"
#include "data/text_codec.h"

namespace karnwick::cli {

namespace {

bool escaped(unsigned char b) {
    return b < 0x20 || b == 0x7F || isUndefinedInWindows1252(b);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string csvText(std::span<const char> bytes) {
    std::string quoted = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (escaped(b)) {
            quoted += hexEscape(b);
        } else if (c == '\\') {
            quoted += "\\\\";
        } else if (c == '"') {
            quoted += "\"\"";
        } else {
            quoted += decodeWindows1252(std::string_view(&c, 1));
        }
    }
    return quoted + "\"";
}

std::string csvTextBytes(std::string_view field) {
    std::string bytes;
    std::size_t plainStart = 0;
    auto flushPlain = [&](std::size_t end) {
        const auto encoded = encodeWindows1252(field.substr(plainStart, end - plainStart));
        if (!encoded)
            throw CommandError("a character Windows-1252 cannot hold (write other bytes as \\xHH)");
        bytes += *encoded;
    };
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') continue;
        flushPlain(i);
        if (i + 1 < field.size() && field[i + 1] == '\\') {
            bytes += '\\';
            i += 1;
        } else if (i + 3 < field.size() && field[i + 1] == 'x' && hexDigit(field[i + 2]) >= 0 &&
                   hexDigit(field[i + 3]) >= 0) {
            bytes += static_cast<char>(hexDigit(field[i + 2]) * 16 + hexDigit(field[i + 3]));
            i += 3;
        } else {
            throw CommandError("a backslash that is neither \\\\ nor \\xHH");
        }
        plainStart = i + 1;
    }
    flushPlain(field.size());
    return bytes;
}

void refuseCsvLine(int line, int column, const std::string& problem) {
    std::string where = "line " + std::to_string(line);
    if (column > 0) where += ", column " + std::to_string(column);
    // A field past the header's last column (a stray comma) has no name.
    if (column == 1) where += " (index)";
    if (column > 1 && column <= kRecordFieldCount + 1)
        where += " (" + std::string(kRecordFields[std::size_t(column - 2)].name) + ")";
    throw CommandError(where + ": " + problem + "; nothing imported");
}

std::vector<CsvField> splitCsvLine(std::string_view line, int lineNumber, char separator) {
    std::vector<CsvField> fields;
    std::size_t at = 0;
    while (true) {
        CsvField field;
        const int column = static_cast<int>(fields.size()) + 1;
        if (at < line.size() && line[at] == '"') {
            field.quoted = true;
            ++at;
            while (true) {
                if (at >= line.size())
                    refuseCsvLine(lineNumber, column, "a quote that is never closed");
                if (line[at] == '"') {
                    if (at + 1 < line.size() && line[at + 1] == '"') {
                        field.text += '"';
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                field.text += line[at++];
            }
            if (at < line.size() && line[at] != separator)
                refuseCsvLine(lineNumber, column, "text after the closing quote");
        } else {
            const std::size_t next = line.find(separator, at);
            const std::size_t end = next == std::string_view::npos ? line.size() : next;
            field.text = std::string(line.substr(at, end - at));
            if (field.text.find('"') != std::string::npos)
                refuseCsvLine(lineNumber, column,
                              "a quote inside a field that does not start with one");
            at = end;
        }
        fields.push_back(std::move(field));
        if (at >= line.size()) return fields;
        ++at;  // the separator
    }
}

}  // namespace karnwick::cli
