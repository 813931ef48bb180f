#include "kit/foundation/WildcardPatternSet.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

namespace kit {
namespace {

constexpr size_t npos = WildcardPatternSet::npos;

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The end of `seg` (no "*") matched at text[pos], or npos.
size_t matchAt(std::string_view seg, std::string_view text, size_t pos) {
  size_t t = pos;
  for (char c : seg) {
    if (t >= text.size()) return npos;
    if (c == '?') {
      ++t;
      while (t < text.size() && isContinuation(text[t])) ++t;
    } else if (text[t] != c) {
      return npos;
    } else {
      ++t;
    }
  }
  return t;
}

// The end of the leftmost match of `seg` at or after `from`, or npos. The
// leftmost match leaves the most text to the segments after it.
size_t findSegment(std::string_view seg, std::string_view text, size_t from) {
  if (seg.find('?') == std::string_view::npos) {
    size_t at = text.find(seg, from);
    return at == std::string_view::npos ? npos : at + seg.size();
  }
  for (size_t s = from; s + seg.size() <= text.size(); ++s) {
    if (isContinuation(text[s])) continue;  // no character starts there
    size_t end = matchAt(seg, text, s);
    if (end != npos) return end;
  }
  return npos;
}

// Whether `tail` (no "*") matches the end of the text, starting at or after `from`.
bool matchTail(std::string_view tail, std::string_view text, size_t from) {
  if (tail.empty()) return true;
  const size_t n = text.size();
  if (n < from || n - from < tail.size()) return false;
  const size_t q = static_cast<size_t>(std::count(tail.begin(), tail.end(), '?'));
  if (q == 0) return text.substr(n - tail.size()) == tail;
  // Each "?" takes one to four bytes, so the tail starts in a short window.
  const size_t longest = tail.size() + 3 * q;
  size_t s = n - from > longest ? n - longest : from;
  for (; s + tail.size() <= n; ++s)
    if (!isContinuation(text[s]) && matchAt(tail, text, s) == n) return true;
  return false;
}

// Pieces nearly every URL holds: filing a pattern under one would make it a
// candidate for every check. Runs of digits (ids, sizes, times) are common
// in URLs too.
bool isCommonPiece(std::string_view piece) {
  static constexpr std::string_view kCommon[] = {
      "http", "ttp:", "tp:/", "p://", "ttps", "tps:", "ps:/", "s://", "://w", "//ww", "/www", "www.", ".com",
      "com/", ".net", "net/", ".org", "org/", ".htm", "html", ".php", ".js?", "tml?", "/ind", "inde", "ndex",
      "https://", "http://w", "ttp://ww", "tp://www", "p://www.", "://www.", "ttps://w", "tps://ww", "ps://www",
      "s://www.", "//www.", ".com/", "index.ht", "ndex.htm", "dex.html", ".html?",
  };
  if (std::find(std::begin(kCommon), std::end(kCommon), piece) != std::end(kCommon)) return true;
  return std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Fixed-size copies, which compile to single loads.
uint64_t pieceAt(const char* p, size_t length) {
  if (length == 8) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
  }
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

bool WildcardPatternSet::matches(std::string_view pattern, std::string_view text) {
  if (pattern.empty()) return false;
  const size_t firstStar = pattern.find('*');
  if (firstStar == std::string_view::npos) return matchAt(pattern, text, 0) == text.size();
  size_t pos = matchAt(pattern.substr(0, firstStar), text, 0);
  if (pos == npos) return false;
  const size_t lastStar = pattern.rfind('*');
  for (size_t i = firstStar + 1; i < lastStar;) {
    const size_t j = pattern.find('*', i);
    std::string_view seg = pattern.substr(i, j - i);
    i = j + 1;
    if (seg.empty()) continue;
    pos = findSegment(seg, text, pos);
    if (pos == npos) return false;
  }
  return matchTail(pattern.substr(lastStar + 1), text, pos);
}

WildcardPatternSet::WildcardPatternSet(std::vector<std::string> patterns) : patterns_(std::move(patterns)) {
  long_.length = 8;
  short_.length = 4;
  std::unordered_map<uint64_t, uint32_t> filedUnder[2];  // long, short
  std::vector<std::pair<uint64_t, uint32_t>> filed[2];  // (piece, pattern)
  for (uint32_t i = 0; i < patterns_.size(); ++i) {
    const std::string& p = patterns_[i];
    if (p.empty()) continue;  // never matches
    bool filedOne = false;
    for (int which = 0; which < 2 && !filedOne; ++which) {
      const size_t length = which == 0 ? long_.length : short_.length;
      bool found = false;
      uint64_t best = 0, bestScore = 0;
      size_t run = 0;  // start of the current literal run
      for (size_t k = 0; k <= p.size(); ++k) {
        if (k < p.size() && p[k] != '*' && p[k] != '?') continue;
        for (size_t s = run; s + length <= k; ++s) {
          const uint64_t piece = pieceAt(p.data() + s, length);
          auto it = filedUnder[which].find(piece);
          const uint64_t score = (it == filedUnder[which].end() ? 0 : it->second) +
                                 (isCommonPiece(std::string_view(p.data() + s, length)) ? (uint64_t(1) << 40) : 0);
          if (!found || score < bestScore) {
            found = true;
            best = piece;
            bestScore = score;
          }
        }
        run = k + 1;
      }
      if (found) {
        ++filedUnder[which][best];
        filed[which].emplace_back(best, i);
        filedOne = true;
      }
    }
    if (!filedOne) unfiled_.push_back(i);
  }
  long_.build(std::move(filed[0]), filedUnder[0].size());
  short_.build(std::move(filed[1]), filedUnder[1].size());
}

void WildcardPatternSet::Index::build(std::vector<std::pair<uint64_t, uint32_t>> filed, size_t distinct) {
  if (filed.empty()) return;
  std::sort(filed.begin(), filed.end());
  size_t capacity = 16;
  while (capacity < distinct * 2) capacity *= 2;
  slots.assign(capacity, Slot{});
  filter.assign((size_t(1) << kFilterBits) / 64, 0);
  postings.reserve(filed.size());
  for (size_t k = 0; k < filed.size();) {
    const uint64_t piece = filed[k].first;
    Slot slot{piece, static_cast<uint32_t>(postings.size()), 0};
    for (; k < filed.size() && filed[k].first == piece; ++k) postings.push_back(filed[k].second);
    slot.count = static_cast<uint32_t>(postings.size()) - slot.first;
    size_t at = hashOf(piece) & (capacity - 1);
    while (slots[at].count) at = (at + 1) & (capacity - 1);
    slots[at] = slot;
    const uint32_t bit = hashOf(piece) >> (32 - kFilterBits);
    filter[bit >> 6] |= uint64_t(1) << (bit & 63);
  }
}

const WildcardPatternSet::Slot* WildcardPatternSet::Index::find(uint64_t piece) const {
  const size_t mask = slots.size() - 1;
  for (size_t at = hashOf(piece) & mask;; at = (at + 1) & mask) {
    const Slot& s = slots[at];
    if (!s.count) return nullptr;
    if (s.piece == piece) return &s;
  }
}

size_t WildcardPatternSet::firstMatch(std::string_view text) const {
  size_t best = npos;
  // Each list is ascending: only entries below the best found so far can win.
  auto tryList = [&](const uint32_t* it, const uint32_t* end) {
    for (; it != end && *it < best; ++it) {
      if (matches(patterns_[*it], text)) {
        best = *it;
        return;
      }
    }
  };
  tryList(unfiled_.data(), unfiled_.data() + unfiled_.size());
  // One pass over the string looks up the piece of each length that starts
  // at each place.
  const bool haveLong = !long_.slots.empty(), haveShort = !short_.slots.empty();
  auto look = [&](const Index& index, uint64_t piece) {
    if (!index.mayHold(piece)) return;
    if (const Slot* s = index.find(piece))
      tryList(index.postings.data() + s->first, index.postings.data() + s->first + s->count);
  };
  const size_t n = text.size();
  for (size_t p = 0; p + 4 <= n && best != 0; ++p) {
    if (haveLong && p + 8 <= n) look(long_, pieceAt(text.data() + p, 8));
    if (haveShort) look(short_, pieceAt(text.data() + p, 4));
  }
  return best;
}

}  // namespace kit
