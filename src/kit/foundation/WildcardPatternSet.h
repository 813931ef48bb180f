#pragma once
// A list of wildcard patterns matched against whole strings: "*" matches any
// run of characters (none included), "?" exactly one character (one UTF-8
// sequence), every other character only itself, letter case included; there
// is no escape character. An empty pattern never matches.
//
// firstMatch() answers the lowest-numbered pattern that matches, without
// trying every pattern in turn: each pattern is filed under one four-byte
// piece of its literal text (the piece fewest other patterns share), so a
// string only tries the patterns filed under pieces it contains, plus the
// few whose literal runs are all too short to be filed.
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
  static constexpr size_t kPiece = 4;
  static constexpr unsigned kFilterBits = 16;

  struct Slot {
    uint32_t piece = 0;
    uint32_t first = 0;  // into postings_
    uint32_t count = 0;  // 0: empty slot
  };

  const Slot* find(uint32_t piece) const;
  bool mayHold(uint32_t piece) const { return (filter_[hashOf(piece) >> (32 - kFilterBits) >> 6] >>
                                               ((hashOf(piece) >> (32 - kFilterBits)) & 63)) & 1; }
  static uint32_t hashOf(uint32_t piece) { return piece * 0x9E3779B1u; }

  std::vector<std::string> patterns_;
  // Pattern indices in ascending order, grouped by piece.
  std::vector<uint32_t> postings_;
  // Open addressing, a power of two in size.
  std::vector<Slot> slots_;
  // One bit per hashed piece: most pieces of a string are no pattern's, and
  // this answers that from a few kilobytes.
  std::vector<uint64_t> filter_;
  // Patterns filed under no piece, ascending.
  std::vector<uint32_t> unfiled_;
};

}  // namespace kit
