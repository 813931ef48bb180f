// The ad-block matcher: patterns (one per line) and a URL (the last line).
// The indexed answer must be what trying every pattern in turn answers.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/WildcardPatternSet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  for (size_t start = 0; start <= input.size();) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    lines.emplace_back(input.substr(start, end - start));
    start = end + 1;
  }
  const std::string url = lines.back();
  lines.pop_back();
  if (lines.size() > 2000) return 0;
  kit::WildcardPatternSet set(lines);
  size_t naive = kit::WildcardPatternSet::npos;
  for (size_t i = 0; i < lines.size() && naive == kit::WildcardPatternSet::npos; ++i)
    if (kit::WildcardPatternSet::matches(lines[i], url)) naive = i;
  if (set.firstMatch(url) != naive) std::abort();
  return 0;
}
