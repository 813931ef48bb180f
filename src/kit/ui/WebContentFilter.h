#pragma once
// The requests a page makes by itself (images, scripts, frames, fetches),
// which no kit request hook sees: the program hands over a list of wildcard
// patterns (WildcardPatternSet's rules) and the backend refuses every such
// request whose URL one of them matches, reporting each refusal back.
//
// Process-wide. setBlockedURLPatterns may be called on any thread; the
// backend's observer and the program's handler run on the main thread (the
// observer on the thread that sets the list).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kit {

class WebContentFilter {
 public:
  using Observer = std::function<void(const std::vector<std::string>& patterns)>;
  using BlockedHandler = std::function<void(const std::string& url)>;

  // An empty list refuses nothing.
  static void setBlockedURLPatterns(std::vector<std::string> patterns);
  static std::vector<std::string> blockedURLPatterns();
  // Counts every change of the list (tests and backends tell lists apart by it).
  static uint64_t generation();

  // The backend's: told of the list at once and after every change.
  static void setObserver(Observer observer);
  // The program's: told of every refused request.
  static void setBlockedHandler(BlockedHandler handler);
  // The backend's report of one refused request.
  static void reportBlocked(const std::string& url);
};

}  // namespace kit
