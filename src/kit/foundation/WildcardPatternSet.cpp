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
// candidate for every check.
bool isCommonPiece(std::string_view piece) {
  static constexpr std::string_view kCommon[] = {
      "http", "ttp:", "tp:/", "p://", "ttps", "tps:", "ps:/", "s://", "://w", "//ww", "/www", "www.",
      ".com", "com/", ".net", "net/", ".org", "org/", ".htm", "html", ".php", ".js?", "tml?", "/ind", "inde", "ndex",
  };
  return std::find(std::begin(kCommon), std::end(kCommon), piece) != std::end(kCommon);
}

uint32_t pieceAt(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
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
  std::unordered_map<uint32_t, uint32_t> filedUnder;
  std::vector<std::pair<uint32_t, uint32_t>> filed;  // (piece, pattern)
  for (uint32_t i = 0; i < patterns_.size(); ++i) {
    const std::string& p = patterns_[i];
    if (p.empty()) continue;  // never matches
    bool found = false;
    uint32_t best = 0;
    uint64_t bestScore = 0;
    size_t run = 0;  // start of the current literal run
    for (size_t k = 0; k <= p.size(); ++k) {
      if (k < p.size() && p[k] != '*' && p[k] != '?') continue;
      for (size_t s = run; s + kPiece <= k; ++s) {
        const uint32_t piece = pieceAt(p.data() + s);
        auto it = filedUnder.find(piece);
        uint64_t score = (it == filedUnder.end() ? 0 : it->second) +
                         (isCommonPiece(std::string_view(p.data() + s, kPiece)) ? (uint64_t(1) << 40) : 0);
        if (!found || score < bestScore) {
          found = true;
          best = piece;
          bestScore = score;
        }
      }
      run = k + 1;
    }
    if (found) {
      ++filedUnder[best];
      filed.emplace_back(best, i);
    } else {
      unfiled_.push_back(i);
    }
  }
  if (filed.empty()) return;
  std::sort(filed.begin(), filed.end());
  size_t capacity = 16;
  while (capacity < filedUnder.size() * 2) capacity *= 2;
  slots_.assign(capacity, Slot{});
  filter_.assign((size_t(1) << kFilterBits) / 64, 0);
  postings_.reserve(filed.size());
  for (size_t k = 0; k < filed.size();) {
    const uint32_t piece = filed[k].first;
    Slot slot{piece, static_cast<uint32_t>(postings_.size()), 0};
    for (; k < filed.size() && filed[k].first == piece; ++k) postings_.push_back(filed[k].second);
    slot.count = static_cast<uint32_t>(postings_.size()) - slot.first;
    size_t at = hashOf(piece) & (capacity - 1);
    while (slots_[at].count) at = (at + 1) & (capacity - 1);
    slots_[at] = slot;
    const uint32_t bit = hashOf(piece) >> (32 - kFilterBits);
    filter_[bit >> 6] |= uint64_t(1) << (bit & 63);
  }
}

const WildcardPatternSet::Slot* WildcardPatternSet::find(uint32_t piece) const {
  const size_t mask = slots_.size() - 1;
  for (size_t at = hashOf(piece) & mask;; at = (at + 1) & mask) {
    const Slot& s = slots_[at];
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
  if (slots_.empty() || text.size() < kPiece) return best;
  for (size_t p = 0; p + kPiece <= text.size() && best != 0; ++p) {
    const uint32_t piece = pieceAt(text.data() + p);
    if (!mayHold(piece)) continue;
    if (const Slot* s = find(piece)) tryList(postings_.data() + s->first, postings_.data() + s->first + s->count);
  }
  return best;
}

}  // namespace kit
