#include "share/ui/ShareFormIndexes.h"

#include <algorithm>
#include <charconv>

namespace tolva {

std::vector<long> ShareFormIndexes::parse(const std::string& indexes) {
  std::vector<long> out;
  if (indexes == "-1") return out;
  size_t start = 0;
  while (start <= indexes.size()) {
    size_t end = indexes.find(',', start);
    if (end == std::string::npos) end = indexes.size();
    long value = 0;
    const char* b = indexes.data() + start;
    const char* e = indexes.data() + end;
    auto [ptr, ec] = std::from_chars(b, e, value);
    if (ec == std::errc() && ptr == e && b != e) out.push_back(value);
    start = end + 1;
  }
  return out;
}

bool ShareFormIndexes::contains(const std::string& indexes, long row) {
  const std::vector<long> rows = parse(indexes);
  return std::find(rows.begin(), rows.end(), row) != rows.end();
}

std::string ShareFormIndexes::toggle(const std::string& indexes, long row) {
  std::vector<long> rows = parse(indexes);
  auto it = std::find(rows.begin(), rows.end(), row);
  if (it != rows.end())
    rows.erase(it);
  else
    rows.push_back(row);
  if (rows.empty()) return "-1";
  std::string out;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i) out += ",";
    out += std::to_string(rows[i]);
  }
  return out;
}

}  // namespace tolva
