#pragma once
// The texts of `list --csv`, and the way back for `import stats`. A record's
// text may hold any byte; a CSV line holds printable text. So inside the
// quotes every byte is its Windows-1252 character in UTF-8, except the bytes
// a CSV or a spreadsheet cannot carry safely: control bytes (0x00-0x1F,
// 0x7F) and the five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) are written \xHH, the backslash itself \\, the quote "".
// The way back turns every such line into the same bytes again.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace karnwick::cli {

// A text field's bytes as one quoted CSV field.
std::string csvText(std::span<const char> bytes);

// One CSV field as a text's bytes: `field` is the content between the quotes
// with "" already undone (or an unquoted field). Throws CommandError saying
// what is wrong, for the caller to put after the place it names: an escape
// that is not \\ or \xHH, or a character Windows-1252 cannot hold.
std::string csvTextBytes(std::string_view field);

// Refuses a CSV file of records for what is wrong at line `line` (1-based),
// in field `column`: "line 3, column 2 (name): ...; nothing imported". Column
// 1 is the index, the others the record fields in the order of `list --csv`;
// column 0 names the line alone.
[[noreturn]] void refuseCsvLine(int line, int column, const std::string& problem);

struct CsvField {
    std::string text;  // quotes removed, "" undone
    bool quoted = false;
};

// Splits line `lineNumber` (without its line break) at the separators outside
// quotes: commas, or the semicolons a spreadsheet writes where the decimal
// point is a comma. A quote left open or text after a closing quote is
// refused with refuseCsvLine, naming the field at fault.
std::vector<CsvField> splitCsvLine(std::string_view line, int lineNumber, char separator = ',');

}  // namespace karnwick::cli
