#pragma once
// `karnwick import stats FILE.csv`: the records of the CSV that `list --csv`
// writes back into monsters.tat, matched by index; rows past the end append.

#include <filesystem>
#include <ostream>

namespace karnwick::cli {

struct ImportRequest;

int importStats(const ImportRequest& request, const std::filesystem::path& dir, std::ostream& out);

}  // namespace karnwick::cli
