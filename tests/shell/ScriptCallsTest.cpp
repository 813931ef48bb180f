// The script calls into the page: the exact text each call evaluates, how
// answers are read, and the escaping of every text that goes into a script.

#include <gtest/gtest.h>

#include "kit/foundation/Bundle.h"
#include "kit/ui/HeadlessWebView.h"
#include "shell/UIWebViewExpand.h"
#include "shell/VeskWebView.h"

using namespace tolva;
namespace X = tolva::UIWebViewExpand;

namespace {

bool isPureASCII(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

TEST(ScriptStringLiteralTest, EscapesEverythingThatCouldEndTheStringOrTheScript) {
  struct Case {
    std::string text;
    std::string literal;
  };
  const Case cases[] = {
      {"", "''"},
      {"plain text 123", "'plain text 123'"},
      {"it's", "'it\\'s'"},
      {"say \"hi\"", "'say \\\"hi\\\"'"},
      {"back\\slash", "'back\\\\slash'"},
      {"a\nb\rc\td", "'a\\nb\\rc\\td'"},
      {std::string("nul\0end", 7), "'nul\\x00end'"},
      {"\x01\x1F\x7F", "'\\x01\\x1F\\x7F'"},
      {"</script><!--", "'\\x3C/script>\\x3C!--'"},
      {"caf\xC3\xA9", "'caf\\u00E9'"},
      {"\xE2\x82\xAC 5", "'\\u20AC 5'"},
      {"line\xE2\x80\xA8sep\xE2\x80\xA9para", "'line\\u2028sep\\u2029para'"},
      {"\xF0\x9F\x98\x80", "'\\uD83D\\uDE00'"},
      {"\xEF\xBB\xBF", "'\\uFEFF'"},
      // Bytes that are no UTF-8: each becomes U+FFFD, nothing is dropped silently.
      {"a\xFF" "b", "'a\\uFFFDb'"},
      {"\xC3", "'\\uFFFD'"},
      {"\xE0\x80\x80", "'\\uFFFD\\uFFFD\\uFFFD'"},
      {"\xED\xA0\x80", "'\\uFFFD\\uFFFD\\uFFFD'"},
      {"\xF4\x90\x80\x80", "'\\uFFFD\\uFFFD\\uFFFD\\uFFFD'"},
  };
  for (const Case& c : cases) {
    std::string literal = X::scriptStringLiteral(c.text);
    EXPECT_EQ(literal, c.literal) << c.text;
    EXPECT_TRUE(isPureASCII(literal));
  }
}

TEST(ScriptStringLiteralTest, ValuesForUnescapeUseItsOwnForm) {
  EXPECT_EQ(X::escapeForUnescape("abc-XYZ_09@*+./"), "abc-XYZ_09@*+./");
  EXPECT_EQ(X::escapeForUnescape("a b'\"%\\"), "a%20b%27%22%25%5C");
  EXPECT_EQ(X::escapeForUnescape("\xC3\xBC\xE2\x82\xAC"), "%FC%u20AC");
  EXPECT_EQ(X::escapeForUnescape("\xF0\x9F\x98\x80"), "%uD83D%uDE00");
  EXPECT_EQ(X::escapeForUnescape(std::string("\0", 1)), "%00");
}

class ScriptCallsTest : public ::testing::Test {
 protected:
  kit::Ref<kit::HeadlessWebView> w = kit::make<kit::HeadlessWebView>();
  const std::vector<std::string>& scripts() const { return w->evaluatedScripts(); }
};

TEST_F(ScriptCallsTest, MetricsAreReadAsIntegers) {
  w->setScriptAnswer("window.innerWidth", "980");
  w->setScriptAnswer("window.innerHeight", "1200.7");
  w->setScriptAnswer("window.pageXOffset", "");
  w->setScriptAnswer("window.pageYOffset", "-35");
  EXPECT_EQ(X::windowSize(*w), (kit::Size{980, 1200}));
  EXPECT_EQ(X::scrollOffset(*w), (kit::Point{0, -35}));
  w->clearEvaluatedScripts();

  w->setScriptAnswer("document.body.scrollHeight", "1200");
  w->setScriptAnswer("document.body.scrollWidth", "980");
  EXPECT_FALSE(X::isScrollable(*w));
  EXPECT_EQ(scripts(), (std::vector<std::string>{"window.innerWidth", "window.innerHeight",
                                                 "document.body.scrollHeight", "document.body.scrollWidth"}));
  w->setScriptAnswer("document.body.scrollHeight", "1201");
  EXPECT_TRUE(X::isScrollable(*w));
  w->setScriptAnswer("document.body.scrollHeight", "10");
  w->setScriptAnswer("document.body.scrollWidth", "981");
  EXPECT_TRUE(X::isScrollable(*w));
}

TEST_F(ScriptCallsTest, TitleLocationAndInjectionChecks) {
  EXPECT_EQ(X::getTitle(*w), "Untitled");
  w->setScriptAnswer("document.title", "Caf\xC3\xA9 \"menu\"");
  EXPECT_EQ(X::getTitle(*w), "Caf\xC3\xA9 \"menu\"");
  // Controls go (line breaks become spaces); bad UTF-8 and non-characters show as U+FFFD.
  w->setScriptAnswer("document.title", "a\x01" "b\x1b[31mc\nd\xC2\x9B" "e\xC3(\xEF\xBF\xBF");
  EXPECT_EQ(X::getTitle(*w), "ab[31mc de\xEF\xBF\xBD(\xEF\xBF\xBD");
  w->setScriptAnswer("document.title", "\x1b\x7f");
  EXPECT_EQ(X::getTitle(*w), "Untitled");
  // A huge title is cut at a whole character: it goes into the tab state and the history.
  w->setScriptAnswer("document.title", "a" + std::string(3 << 20, '\x01') + std::string(1 << 20, 'b') + "\xC3\xA9");
  EXPECT_EQ(X::getTitle(*w), "a" + std::string(X::kMaxTitleBytes - 1, 'b'));
  w->setScriptAnswer("document.title", std::string(X::kMaxTitleBytes - 1, 'b') + "\xC3\xA9");
  EXPECT_EQ(X::getTitle(*w), std::string(X::kMaxTitleBytes - 1, 'b'));

  EXPECT_EQ(X::getLocation(*w), "");
  w->loadRequest(kit::URLRequest::requestWithURL(kit::URL::URLWithString("http://site.test/a?b=1")).get());
  EXPECT_EQ(X::getLocation(*w), "http://site.test/a?b=1");

  EXPECT_FALSE(X::isInjected(*w));
  for (const char* yes : {"true", "TRUE", "True"}) {
    w->setScriptAnswer("isInjected().toString();", yes);
    EXPECT_TRUE(X::isInjected(*w)) << yes;
  }
  for (const char* no : {"false", "1", "true ", "truex"}) {
    w->setScriptAnswer("isInjected().toString();", no);
    EXPECT_FALSE(X::isInjected(*w)) << no;
  }
  w->setScriptAnswer("Vesk_isInjected().toString();", "TRUE");
  EXPECT_TRUE(X::isSearchInjected(*w));
}

TEST_F(ScriptCallsTest, CountingAnEmptyTextLeavesThePageAlone) {
  EXPECT_EQ(X::numberOfOccurencesOfString(*w, ""), 0);
  EXPECT_TRUE(scripts().empty());
}

TEST_F(ScriptCallsTest, FindInPagePutsTheSearchScriptInOnceAndQuotesTheText) {
  bool injected = false;
  kit::Ref<kit::String> code =
      kit::Bundle::mainBundle()->textOfResource("search", "js", kit::Bundle::TextEncoding::UTF8);
  ASSERT_TRUE(code);
  const std::string search = code->str();
  ASSERT_FALSE(search.empty());
  w->setScriptHandler([&](const std::string& script) -> std::optional<std::string> {
    if (script == search) injected = true;
    if (script == "Vesk_isInjected().toString();") return injected ? "true" : "";
    return std::nullopt;
  });
  w->setScriptAnswer("Vesk_FindResultCount", "3");
  w->setScriptAnswer("Vesk_SearchResultCount", "2 items");

  EXPECT_EQ(X::numberOfOccurencesOfString(*w, "O'Brien \"x\" </script>"), 3);
  EXPECT_EQ(scripts(), (std::vector<std::string>{"Vesk_isInjected().toString();", search,
                                                 "Vesk_FindAllOccurencesOfString('O\\'Brien \\\"x\\\" \\x3C/script>')",
                                                 "Vesk_FindResultCount"}));
  w->clearEvaluatedScripts();
  EXPECT_EQ(X::highlightAllOccurencesOfString(*w, "M\xC3\xBCller"), 2);
  EXPECT_EQ(scripts(), (std::vector<std::string>{"Vesk_isInjected().toString();",
                                                 "Vesk_HighlightAllOccurencesOfString('M\\u00FCller');",
                                                 "Vesk_SearchResultCount"}));

  // Highlighting puts the script in even for an empty text.
  injected = false;
  w->clearEvaluatedScripts();
  X::highlightAllOccurencesOfString(*w, "");
  EXPECT_EQ(w->evaluatedCount(search), 1u);
  EXPECT_EQ(w->evaluatedCount("Vesk_HighlightAllOccurencesOfString('');"), 1u);

  w->clearEvaluatedScripts();
  EXPECT_EQ(X::numberOfHighlightedOfString(*w), 2);
  X::removeAllHighlights(*w);
  EXPECT_EQ(scripts(), (std::vector<std::string>{"Vesk_SearchResultCount", "Vesk_RemoveAllHighlights()"}));
}

TEST_F(ScriptCallsTest, TextSizeScrollingSelectionAndFormValues) {
  X::applyFontSize(*w, 150);
  X::findScrollElementAndScroll(*w, {3, -4.5});
  w->setScriptAnswer("function f() {var txt = window.getSelection().toString();\t\t\t\t\t return txt;\t\t\t\t\t }f();",
                     "picked");
  EXPECT_EQ(X::getSelectedText(*w), "picked");
  X::setValue(*w, "", "user");
  ASSERT_EQ(scripts().size(), 5u);
  EXPECT_EQ(scripts()[0], "document.getElementsByTagName('body')[0].style.webkitTextSizeAdjust= '150%'");
  EXPECT_EQ(scripts()[1], "scrollScrollElementIdAtPoint(3.000000,-4.500000);");
  EXPECT_EQ(scripts()[3],
            "function setVeSkValue(idorname, val){var e = document.getElementById(idorname);if (e) {e.value = "
            "unescape(val);}else {\te = document.getElementsByName(idorname);\tif (e) {\t\tfor(var i=0;i<e.length;i++) "
            "{\t\t\te[i].value = unescape(val);\t\t}\t}}};");
  EXPECT_EQ(scripts()[4], "setVeSkValue('user','');");

  w->clearEvaluatedScripts();
  X::setValue(*w, "p\xC3\xA4ss w\xC3\xB6rd'\\", "login[\"name\"]\xE2\x80\xA8");
  EXPECT_EQ(scripts()[1], "setVeSkValue('login[\\\"name\\\"]\\u2028','p%E4ss%20w%F6rd%27%5C');");
}

TEST(PageScriptsTest, EveryScriptIsInTheBundleAndThePasswordScriptIsASCII) {
  EXPECT_FALSE(VeskWebView::getContextJSCode().empty());
  const std::string& password = VeskWebView::getPasswordJSCode();
  ASSERT_FALSE(password.empty());
  EXPECT_TRUE(isPureASCII(password));
  kit::Ref<kit::String> search =
      kit::Bundle::mainBundle()->textOfResource("search", "js", kit::Bundle::TextEncoding::UTF8);
  ASSERT_TRUE(search);
  // Every name the browser calls is defined by the script that should.
  for (const char* name : {"isInjected", "injectLinkTargets", "injectPopupHandler", "scrollScrollElementIdAtPoint"})
    EXPECT_NE(VeskWebView::getContextJSCode().find(std::string("window.") + name + " ="), std::string::npos) << name;
  for (const char* name : {"findIdOfFormsWithPassword", "findNameOfFormsWithPassword", "findNumberOfInputs",
                           "getTypeOfInputAtIdx", "getValueOfInputAtIdx", "getIdOfInputAtIdx", "getNameOfInputAtIdx"})
    EXPECT_NE(password.find(std::string("window.") + name + " ="), std::string::npos) << name;
  for (const char* name : {"Vesk_isInjected", "Vesk_FindAllOccurencesOfString", "Vesk_HighlightAllOccurencesOfString",
                           "Vesk_RemoveAllHighlights", "Vesk_FindResultCount", "Vesk_SearchResultCount"})
    EXPECT_NE(search->str().find(std::string("window.") + name + " ="), std::string::npos) << name;
}

}  // namespace
