#pragma once
// The place of a row in a table: a section and a row within it. A plain
// value, ordered by section first, then row.

#include <compare>
#include <string>

namespace kit {

struct IndexPath {
  long section = 0;
  long row = 0;

  static IndexPath indexPathForRow(long row, long section) { return {section, row}; }

  auto operator<=>(const IndexPath&) const = default;
  bool operator==(const IndexPath&) const = default;
};

// "[section, row]", for messages and test output.
std::string toString(const IndexPath& p);

}  // namespace kit
