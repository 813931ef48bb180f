#pragma once
// The chosen rows of an option list as stored in "curIndexes": "-1" for none,
// else row numbers joined by ",". Rows are compared as numbers, never as
// text ("1" is not in "11").

#include <string>
#include <vector>

namespace tolva {

class ShareFormIndexes {
 public:
  // The row numbers in order; parts that are no number are left out.
  static std::vector<long> parse(const std::string& indexes);
  static bool contains(const std::string& indexes, long row);
  // Adds the row when absent, removes it when present; an emptied list is "-1".
  static std::string toggle(const std::string& indexes, long row);
};

}  // namespace tolva
