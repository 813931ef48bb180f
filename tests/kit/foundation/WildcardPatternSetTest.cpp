// The indexed pattern list answers exactly what trying every pattern in
// turn answers.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kit/foundation/WildcardPatternSet.h"

using kit::WildcardPatternSet;

namespace {

size_t naiveFirstMatch(const std::vector<std::string>& patterns, const std::string& text) {
  for (size_t i = 0; i < patterns.size(); ++i)
    if (WildcardPatternSet::matches(patterns[i], text)) return i;
  return WildcardPatternSet::npos;
}

TEST(WildcardPatternSetTest, SingleMatchesFollowTheWildcardRules) {
  EXPECT_TRUE(WildcardPatternSet::matches("abc", "abc"));
  EXPECT_FALSE(WildcardPatternSet::matches("abc", "abcd"));
  EXPECT_FALSE(WildcardPatternSet::matches("abc", "xabc"));
  EXPECT_FALSE(WildcardPatternSet::matches("", ""));
  EXPECT_TRUE(WildcardPatternSet::matches("*", ""));
  EXPECT_TRUE(WildcardPatternSet::matches("a*", "a"));
  EXPECT_TRUE(WildcardPatternSet::matches("*a", "bba"));
  EXPECT_FALSE(WildcardPatternSet::matches("*a", "ab"));
  EXPECT_TRUE(WildcardPatternSet::matches("a*b*a", "abba"));
  EXPECT_FALSE(WildcardPatternSet::matches("a*b*a", "aba*"));
  EXPECT_TRUE(WildcardPatternSet::matches("*ab*ab", "abab"));
  EXPECT_FALSE(WildcardPatternSet::matches("ab*ab", "aba"));  // the ends may not overlap
  EXPECT_TRUE(WildcardPatternSet::matches("*?b?", "xabc"));
  EXPECT_FALSE(WildcardPatternSet::matches("*?b?", "bc"));
  EXPECT_TRUE(WildcardPatternSet::matches("*x?", "x\xe2\x82\xac"));       // "?" takes a three-byte character
  EXPECT_FALSE(WildcardPatternSet::matches("*x??", "x\xe2\x82\xac"));
  EXPECT_TRUE(WildcardPatternSet::matches("*?\xe2\x82\xac*", "a\xe2\x82\xac"));
  EXPECT_TRUE(WildcardPatternSet::matches("a?*?c", "a\xc3\xa9\xc3\xa9" "c"));
  // A tail with "?" at the end of a long text.
  EXPECT_TRUE(WildcardPatternSet::matches("http://*/ad?.png", "http://a.long.example.com/some/path/ad7.png"));
  EXPECT_FALSE(WildcardPatternSet::matches("http://*/ad?.png", "http://a.long.example.com/some/path/ad77.png"));
  EXPECT_TRUE(WildcardPatternSet::matches("*?x", "a very long text that ends in yx"));
}

TEST(WildcardPatternSetTest, TheLowestNumberedMatchWinsAndUnusablePatternsNeverDo) {
  WildcardPatternSet set({"", "*/ad/*", "*://ads.example.com/*", "*a*", "http://x.test/?"});
  EXPECT_EQ(set.size(), 5u);
  EXPECT_EQ(set.firstMatch("http://ads.example.com/ad/1"), 1u);
  EXPECT_EQ(set.firstMatch("http://ads.example.com/x"), 2u);
  EXPECT_EQ(set.firstMatch("http://x.test/1"), 4u);
  EXPECT_EQ(set.firstMatch("b"), WildcardPatternSet::npos);
  EXPECT_EQ(set.firstMatch(""), WildcardPatternSet::npos);
  EXPECT_EQ(WildcardPatternSet().firstMatch("x"), WildcardPatternSet::npos);
  // Two patterns filed under the same piece keep their order.
  WildcardPatternSet same({"*track*z", "*track*", "*track*"});
  EXPECT_EQ(same.firstMatch("http://t/track"), 1u);
  EXPECT_EQ(same.firstMatch("http://t/track/z"), 0u);
}

TEST(WildcardPatternSetTest, TheIndexAgreesWithTryingEveryPattern) {
  std::mt19937 rng(17);
  const std::vector<std::string> words = {"ads", "track", "banner", "pixel", "cdn", "img", "static", "ad",
                                          "doubleclick", "x", "?", "*", "/", ".", "com", "http://", "www."};
  auto pick = [&](size_t n) { return rng() % n; };
  auto make = [&](bool pattern) {
    std::string s;
    if (!pattern) s = "http://";
    size_t parts = 1 + pick(6);
    for (size_t i = 0; i < parts; ++i) {
      const std::string& w = words[pick(words.size())];
      if (!pattern && (w == "?" || w == "*")) {
        s += char('a' + pick(26));
      } else {
        s += w;
      }
    }
    return s;
  };
  for (int round = 0; round < 20; ++round) {
    std::vector<std::string> patterns;
    for (size_t i = 0, n = 1 + pick(300); i < n; ++i) patterns.push_back(make(true));
    WildcardPatternSet set(patterns);
    size_t matched = 0;
    for (int u = 0; u < 300; ++u) {
      std::string text = make(false);
      if (u % 2) {  // one of the patterns filled in, so that many texts match
        text.clear();
        for (char c : patterns[pick(patterns.size())])
          text += c == '*' ? words[pick(9)] : c == '?' ? std::string(1, char('a' + pick(26))) : std::string(1, c);
      }
      matched += set.firstMatch(text) != WildcardPatternSet::npos;
      ASSERT_EQ(set.firstMatch(text), naiveFirstMatch(patterns, text)) << text;
    }
    EXPECT_GT(matched, 100u);
  }
}

}  // namespace
