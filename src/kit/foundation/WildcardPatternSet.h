#pragma once
// A list of wildcard patterns matched against whole strings: "*" matches any
// run of characters (none included), "?" exactly one character (one UTF-8
// sequence), every other character only itself, letter case included; there
// is no escape character. An empty pattern never matches.
//
// firstMatch() answers the lowest-numbered pattern that matches, without
// trying every pattern in turn: each pattern is filed under one piece of its
// literal text, eight bytes long where it can be, else four (the piece fewest
// other patterns share, avoiding pieces most URLs hold), so a string only
// tries the patterns filed under pieces it contains, plus the few whose
// literal runs are all too short to be filed.
//
// Immutable once built, so any number of threads may ask at once. Depends on
// the standard library alone: the web-process extension compiles it too.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kit {

class WildcardPatternSet {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  WildcardPatternSet() = default;
  explicit WildcardPatternSet(std::vector<std::string> patterns);

  // The index of the first pattern that matches the whole of `text`, or npos.
  size_t firstMatch(std::string_view text) const;
  bool anyMatch(std::string_view text) const { return firstMatch(text) != npos; }

  size_t size() const noexcept { return patterns_.size(); }
  const std::string& pattern(size_t i) const { return patterns_[i]; }
  const std::vector<std::string>& patterns() const noexcept { return patterns_; }

  // One pattern against the whole of `text`.
  static bool matches(std::string_view pattern, std::string_view text);

 private:
  static constexpr unsigned kFilterBits = 17;

  struct Slot {
    uint64_t piece = 0;
    uint32_t first = 0;  // into postings_
    uint32_t count = 0;  // 0: empty slot
  };
  // Patterns filed under pieces of one length.
  struct Index {
    size_t length = 0;
    // Open addressing, a power of two in size; empty when nothing is filed.
    std::vector<Slot> slots;
    // One bit per hashed piece: most pieces of a string are no pattern's,
    // and this answers that from a few kilobytes.
    std::vector<uint64_t> filter;
    // Pattern indices in ascending order, grouped by piece.
    std::vector<uint32_t> postings;

    void build(std::vector<std::pair<uint64_t, uint32_t>> filed, size_t distinct);
    const Slot* find(uint64_t piece) const;
    bool mayHold(uint64_t piece) const {
      const uint32_t bit = hashOf(piece) >> (32 - kFilterBits);
      return (filter[bit >> 6] >> (bit & 63)) & 1;
    }
  };
  static uint32_t hashOf(uint64_t piece) { return static_cast<uint32_t>((piece * 0x9E3779B97F4A7C15ull) >> 32); }

  std::vector<std::string> patterns_;
  // Eight-byte pieces where a pattern has a literal run that long (they
  // tell URLs apart far better), four-byte ones otherwise.
  Index long_;
  Index short_;
  // Patterns filed under no piece, ascending.
  std::vector<uint32_t> unfiled_;
};

}  // namespace kit
