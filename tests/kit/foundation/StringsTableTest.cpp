#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/foundation/StringsTable.h"
#include "support/TempHome.h"

using namespace kit;

namespace {

std::string valueOf(const Ref<Dictionary>& table, std::string_view key) {
  auto* s = table ? table->get<String>(key) : nullptr;
  return s ? s->str() : std::string("<missing>");
}

Ref<Dictionary> parseOK(std::string_view bytes) {
  Ref<Error> error;
  auto table = StringsTable::parse(bytes, &error);
  EXPECT_TRUE(table) << (error ? error->localizedDescription() : "");
  return table;
}

// The line number of a parse failure, or 0 when the text parsed.
long failureLine(std::string_view bytes, std::string* description = nullptr) {
  Ref<Error> error;
  auto table = StringsTable::parse(bytes, &error);
  if (table) return 0;
  EXPECT_TRUE(error);
  if (!error) return -1;
  EXPECT_EQ(error->domain(), StringsTable::kErrorDomain);
  if (description) *description = error->localizedDescription();
  auto* line = error->userInfo()->get<Number>(StringsTable::kLineNumberKey);
  return line ? line->integerValue() : -1;
}

// UTF-16 bytes of ASCII-and-escaped text given as code units.
std::string utf16(const std::u16string& text, bool bigEndian, bool bom) {
  std::string out;
  auto put = [&](char16_t u) {
    if (bigEndian) {
      out.push_back(static_cast<char>(u >> 8));
      out.push_back(static_cast<char>(u & 0xFF));
    } else {
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
    }
  };
  if (bom) put(0xFEFF);
  for (char16_t u : text) put(u);
  return out;
}

}  // namespace

TEST(StringsTable, EscapesInQuotedStrings) {
  auto t = parseOK(R"("quote \" inside" = "back\\slash\nnew\ttab\rcr";
'single' = 'it\'s';
"octal" = "\101\102";
"line" = "a\
b";
"unknown" = "\q";)");
  EXPECT_EQ(valueOf(t, "quote \" inside"), "back\\slash\nnew\ttab\rcr");
  EXPECT_EQ(valueOf(t, "single"), "it's");
  EXPECT_EQ(valueOf(t, "octal"), "AB");
  EXPECT_EQ(valueOf(t, "line"), "a\nb");
  EXPECT_EQ(valueOf(t, "unknown"), "q");
}

TEST(StringsTable, UnicodeEscapesIncludingSurrogatePairs) {
  auto t = parseOK(R"("e" = "caf\U00e9";
"emoji" = "\UD83D\UDE00!";
"lower" = "\ud83d\ude00";
"lone high" = "\UD83Dx";
"high then plain escape" = "\UD83D\U0041";
"lone low" = "\UDE00";
"short" = "\U41-";)");
  EXPECT_EQ(valueOf(t, "e"), "caf\xC3\xA9");
  EXPECT_EQ(valueOf(t, "emoji"), "\xF0\x9F\x98\x80!");
  EXPECT_EQ(valueOf(t, "lower"), "\xF0\x9F\x98\x80");
  // An unpaired surrogate becomes U+FFFD and loses nothing after it.
  EXPECT_EQ(valueOf(t, "lone high"), "\xEF\xBF\xBDx");
  EXPECT_EQ(valueOf(t, "high then plain escape"), "\xEF\xBF\xBD" "A");
  EXPECT_EQ(valueOf(t, "lone low"), "\xEF\xBF\xBD");
  EXPECT_EQ(valueOf(t, "short"), "A-");
}

TEST(StringsTable, CommentsUnquotedKeysShorthandAndOrder) {
  auto t = parseOK(R"(/* header comment with "quotes" and = signs; */
// a line comment "x" = "y";
"url" = "http://example.invalid/a"; // trailing comment
plain_key1 = "v1"; /* between */ "k2"
  =
  /* inside */ "v2";
"Same";
"dup" = "first";
"dup" = "second";
)");
  EXPECT_EQ(t->count(), 5u);
  EXPECT_EQ(valueOf(t, "url"), "http://example.invalid/a");
  EXPECT_EQ(valueOf(t, "plain_key1"), "v1");
  EXPECT_EQ(valueOf(t, "k2"), "v2");
  EXPECT_EQ(valueOf(t, "Same"), "Same");
  EXPECT_EQ(valueOf(t, "dup"), "second");
  EXPECT_EQ(valueOf(t, "x"), "<missing>");
  // A braced table, an empty file and one of only comments are fine too.
  EXPECT_EQ(valueOf(parseOK("{ \"a\" = \"b\"; }\n"), "a"), "b");
  EXPECT_EQ(parseOK("")->count(), 0u);
  EXPECT_EQ(parseOK("  /* nothing */ // here\n")->count(), 0u);
}

TEST(StringsTable, FileEncodings) {
  // UTF-8 with a byte-order mark.
  EXPECT_EQ(valueOf(parseOK("\xEF\xBB\xBF\"k\" = \"\xC3\xA9\";"), "k"), "\xC3\xA9");
  // UTF-16 in both byte orders with marks, with a character outside the BMP
  // written directly as a surrogate pair.
  std::u16string text = u"/* c */\n\"k\" = \"caf\u00e9 \U0001F600\";\n\"b\" = \"x\";";
  for (bool be : {false, true}) {
    auto t = parseOK(utf16(text, be, true));
    ASSERT_TRUE(t);
    EXPECT_EQ(valueOf(t, "k"), "caf\xC3\xA9 \xF0\x9F\x98\x80") << be;
    EXPECT_EQ(valueOf(t, "b"), "x");
  }
  // UTF-16 without a mark is recognised from its zero bytes.
  EXPECT_EQ(valueOf(parseOK(utf16(u"\"k\" = \"v\";", false, false)), "k"), "v");
  EXPECT_EQ(valueOf(parseOK(utf16(u"\"k\" = \"v\";", true, false)), "k"), "v");
}

TEST(StringsTable, BadEncodingsFail) {
  Ref<Error> error;
  EXPECT_FALSE(StringsTable::parse("\"a\" = \"b\";\n\"c\" = \"\xC3(\";", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), StringsTable::kInapplicableEncodingError);
  EXPECT_NE(error->localizedDescription().find("line 2"), std::string::npos);

  // Overlong UTF-8 and encoded surrogates are refused, not passed through.
  EXPECT_FALSE(StringsTable::parse("\"a\" = \"\xC0\xAF\";"));
  EXPECT_FALSE(StringsTable::parse("\"a\" = \"\xED\xA0\x80\";"));
  // Odd-length UTF-16 and an unpaired surrogate in the file itself.
  EXPECT_FALSE(StringsTable::parse(utf16(u"\"a\" = \"b\";", false, true) + "x"));
  std::u16string lone = u"\"a\" = \"";
  lone.push_back(char16_t(0xD800));
  lone += u"\";";
  EXPECT_FALSE(StringsTable::parse(utf16(lone, false, true)));
  EXPECT_FALSE(StringsTable::parse("bplist00\x01\x02"));
}

TEST(StringsTable, MalformedTextReportsItsLine) {
  std::string description;
  EXPECT_EQ(failureLine("\"a\" = \"b\";\n\"c\" = \"d\"\n\"e\" = \"f\";", &description), 2);
  EXPECT_NE(description.find("';'"), std::string::npos) << description;
  EXPECT_NE(description.find("line 2"), std::string::npos) << description;
  // An unterminated string is reported where it starts.
  EXPECT_EQ(failureLine("\"a\" = \"b\";\n\n\"c\" = \"open\n\n\n"), 3);
  EXPECT_EQ(failureLine("\"a\" = \"b\";\r\n\r\n/* never closed\r\n"), 3);
  EXPECT_EQ(failureLine("\"a\"\n\"b\";"), 1);          // missing '='
  EXPECT_EQ(failureLine("\"a\" = ;"), 1);              // missing value
  EXPECT_EQ(failureLine("\"a\" = (\"b\");"), 1);       // not a string
  EXPECT_EQ(failureLine("\r\"a\" = \"b\"; ="), 2);     // lone CR ends a line
  EXPECT_EQ(failureLine("\"a\" = \"b\""), 1);           // last entry without ';'
  EXPECT_EQ(failureLine("{ \"a\" = \"b\";\n"), 2);      // unclosed brace
  EXPECT_EQ(failureLine("\"a\" = \"\\U\";"), 1);        // \U without digits
}

TEST(StringsTable, XMLPropertyListTables) {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>Search</key><string>Suche \xC3\xA9</string>"
      "<key>Count</key><integer>3</integer>"
      "</dict></plist>";
  auto t = parseOK(xml);
  ASSERT_TRUE(t);
  EXPECT_EQ(valueOf(t, "Search"), "Suche \xC3\xA9");
  EXPECT_EQ(t->count(), 1u);  // only text entries belong in a table

  // The same in UTF-16 with its own declaration.
  std::u16string wide = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<plist version=\"1.0\"><dict>"
                        u"<key>k</key><string>\U0001F600</string></dict></plist>";
  EXPECT_EQ(valueOf(parseOK(utf16(wide, false, true)), "k"), "\xF0\x9F\x98\x80");

  Ref<Error> error;
  EXPECT_FALSE(StringsTable::parse("<plist version=\"1.0\"><array/></plist>", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), StringsTable::kReadCorruptError);
  EXPECT_FALSE(StringsTable::parse("<plist version=\"1.0\"><dict><key>a</key></plist>"));
}

TEST(StringsTable, LoadReadsFilesAndReportsMissingOnes) {
  tolvatest::TempHome home;
  std::string path = home.path() + "/T.strings";
  std::ofstream(path, std::ios::binary) << utf16(u"\"Search\" = \"Suche\";", false, true);
  EXPECT_EQ(valueOf(StringsTable::load(path), "Search"), "Suche");

  Ref<Error> error;
  EXPECT_FALSE(StringsTable::load(home.path() + "/none.strings", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), StringsTable::kFileReadNoSuchFileError);
  error = nullptr;
  EXPECT_FALSE(StringsTable::load(home.path(), &error));  // a folder
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), StringsTable::kFileReadUnknownError);
}
