// The offer to save a login: what the page view reads from a submitted
// form, when it asks, the save and change questions and what each answer
// leaves in the store, one question at a time, and the scripts put into
// every page at load start and finish.

#include "ShellTest.h"
#include "shell/VeskUIActionSheetWithData.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/String.h"
#include "kit/ui/TextField.h"

using namespace tolva;

namespace {

struct FakeInput {
  std::string type, value, id, name;
};

class PasswordOfferTest : public shelltest::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    store()->resetForTesting();
  }
  void TearDown() override {
    clearOverlays();
    pages.clear();
    store()->resetForTesting();
    ShellTest::TearDown();
  }

  static VeskPagePasswordDatabase* store() { return VeskPagePasswordDatabase::sharedInstance(); }

  // A page at `url` whose web view answers the password script's calls from `inputs`.
  VeskWebView* open(const std::string& url = "https://login.test/signin") {
    kit::Ref<VeskWebView> p = VeskWebView::allocInstance({0, 0, 1024, 598}, nullptr, url);
    pages.push_back(p);
    web(p.get())->setScriptHandler([this](const std::string& script) { return answer(script); });
    return p.get();
  }

  std::optional<std::string> answer(const std::string& script) {
    bool anyPassword = false;
    for (const FakeInput& in : inputs) anyPassword |= in.type == "password";
    if (script == "findIdOfFormsWithPassword()") return anyPassword ? formId : "";
    if (script == "findNameOfFormsWithPassword()") return "";
    if (script == "findNumberOfInputs()") return std::to_string(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
      if (script == kit::format("getTypeOfInputAtIdx(%d)", i)) return inputs[i].type;
      if (script == kit::format("getValueOfInputAtIdx(%d)", i)) return inputs[i].value;
      if (script == kit::format("getIdOfInputAtIdx(%d)", i)) return inputs[i].id;
      if (script == kit::format("getNameOfInputAtIdx(%d)", i)) return inputs[i].name;
    }
    return std::nullopt;
  }

  // The page's form is submitted.
  void submit(VeskWebView* p) {
    EXPECT_TRUE(web(p)->fireShouldStart("https://login.test/session", kit::WebViewNavigationType::FormSubmitted));
  }

  static kit::ActionSheet* sheet() { return kit::ActionSheet::topVisibleSheet(); }
  static size_t sheetCount() { return kit::ActionSheet::visibleSheets().size(); }
  static std::string stored(const std::string& site, const std::string& key) {
    kit::Ref<kit::MutableDictionary> fields = store()->retrieveByURL(site);
    auto* v = fields ? fields->get<kit::String>(key) : nullptr;
    return v ? v->str() : "(none)";
  }
  static std::vector<std::string> buttons(kit::ActionSheet* s) {
    std::vector<std::string> out;
    for (long i = 0; i < s->numberOfButtons(); ++i) out.push_back(s->buttonTitleAtIndex(i));
    return out;
  }

  std::string formId = "login";
  std::vector<FakeInput> inputs = {
      {"text", "me", "user", "u"},
      {"password", "secret", "", "pw"},
      {"hidden", "token", "csrf", "csrf"},
      {"checkbox", "on", "remember", ""},
  };
  std::vector<kit::Ref<VeskWebView>> pages;
};

TEST_F(PasswordOfferTest, ASubmittedLoginIsOfferedAndSaved) {
  VeskWebView* p = open();
  kit::HeadlessWebView* w = web(p);
  w->clearEvaluatedScripts();
  submit(p);

  // The password script is run fresh before the page is read.
  ASSERT_FALSE(w->evaluatedScripts().empty());
  EXPECT_EQ(w->evaluatedScripts()[0], VeskWebView::getPasswordJSCode());
  EXPECT_EQ(w->evaluatedCount("getValueOfInputAtIdx(2)"), 0u);  // a hidden input is not read

  kit::ActionSheet* s = sheet();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->tag(), VeskWebView::kTagSavePassword);
  EXPECT_EQ(s->title(), "Do you want Tolva to remember the password on login.test");
  EXPECT_EQ(buttons(s), (std::vector<std::string>{"Save Password", "Never for this site", "Not Now", "Not Now"}));
  EXPECT_EQ(s->cancelButtonIndex(), 3);
  EXPECT_EQ(s->anchorView(), p);
  EXPECT_EQ(s->anchorRect(), p->convertRectToView(p->urlField()->frame(), nullptr));
  EXPECT_TRUE(p->bShowingPasswordSheet());
  EXPECT_EQ(store()->getSaveOption("login.test"), 1);

  s->tapButtonWithTitle("Save Password");
  EXPECT_FALSE(p->bShowingPasswordSheet());
  EXPECT_EQ(store()->getSaveOption("login.test"), 3);
  EXPECT_EQ(stored("login.test", "user"), "me");
  EXPECT_EQ(stored("login.test", "pw"), "secret");
  EXPECT_EQ(store()->retrieveByURL("login.test")->count(), 2u);

  // The same login again asks nothing; so does one whose form lacks a stored key.
  submit(p);
  EXPECT_EQ(sheetCount(), 0u);
  inputs.erase(inputs.begin());
  submit(p);
  EXPECT_EQ(sheetCount(), 0u);
}

TEST_F(PasswordOfferTest, AnEmptyPasswordOffersNothing) {
  inputs = {{"email", "me@x.test", "mail", ""}, {"password", "", "pw", ""}, {"text", "more", "x", ""}};
  VeskWebView* p = open();
  submit(p);
  EXPECT_EQ(sheetCount(), 0u);
  EXPECT_EQ(store()->getSaveOption("login.test"), 0);
  // The walk stopped at the empty password.
  EXPECT_EQ(web(p)->evaluatedCount("getTypeOfInputAtIdx(2)"), 0u);

  // No form with a password, or no inputs at all: nothing either.
  inputs = {{"text", "me", "user", ""}};
  submit(p);
  inputs = {{"password", "pw", "pw", ""}};
  formId = "";
  submit(p);
  EXPECT_EQ(sheetCount(), 0u);
  formId = "login";
  inputs.clear();
  submit(p);
  EXPECT_EQ(sheetCount(), 0u);
}

TEST_F(PasswordOfferTest, TheKeysOfTheFieldsAndThePassword) {
  // Two password inputs: the last one's key is the password key. An input with
  // neither id nor name is skipped, a password one included (it could never be filled in).
  inputs = {{"TEXT", "me", "", "user"},
            {"password", "old", "pw1", "p"},
            {"password", "new", "", "pw2"},
            {"password", "stray", "", ""},
            {"text", "nobody", "", ""}};
  VeskWebView* p = open();
  submit(p);
  ASSERT_TRUE(sheet());
  // The question carries what its answer acts on.
  auto* question = dynamic_cast<VeskUIActionSheetWithData*>(sheet());
  ASSERT_TRUE(question);
  EXPECT_EQ(question->copiedData()->description(), "pw2");
  EXPECT_EQ(question->copiedData2()->description(), "login.test");
  auto* fields = dynamic_cast<kit::Dictionary*>(question->retainedData());
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->count(), 3u);
  sheet()->tapButton(0);
  kit::Ref<kit::MutableDictionary> saved = store()->retrieveByURL("login.test");
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->count(), 2u);
  EXPECT_EQ(stored("login.test", "user"), "me");
  EXPECT_EQ(stored("login.test", "pw2"), "new");
  // The other password input is kept nowhere: not in the settings file, not as the site's password.
  EXPECT_EQ(stored("login.test", "pw1"), "(none)");
  kit::Ref<kit::Dictionary> table = defaults().dictionaryForKey("passwords");
  ASSERT_TRUE(table);
  auto* entry = table->get<kit::Dictionary>("login.test");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->count(), 2u);
  EXPECT_FALSE(entry->objectForKey("pw1"));
  EXPECT_FALSE(entry->objectForKey("pw2"));
  EXPECT_EQ(store()->getSaveOption("login.test"), 3);

  // Only a keyless password input: no password, no offer.
  inputs = {{"text", "me", "user", ""}, {"password", "pw", "", ""}};
  VeskWebView* other = open("https://other.test/");
  submit(other);
  EXPECT_EQ(sheetCount(), 0u);
}

TEST_F(PasswordOfferTest, AChangedPasswordAsksToChangeIt) {
  kit::Ref<kit::Dictionary> old(new kit::Dictionary({{"user", kit::str("me")}, {"pw", kit::str("old")}}));
  store()->updatePassword("pw", old.get(), "login.test");
  store()->setSaveOption("login.test", 3);
  VeskWebView* p = open();
  submit(p);
  kit::ActionSheet* s = sheet();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->tag(), VeskWebView::kTagChangePassword);
  EXPECT_EQ(s->title(), "Would you like to change the stored password on login.test");
  EXPECT_EQ(buttons(s), (std::vector<std::string>{"Change", "Don't Change", "Don't Change"}));
  EXPECT_EQ(s->cancelButtonIndex(), 2);
  EXPECT_EQ(store()->getSaveOption("login.test"), 1);

  // The cancel button changes nothing stored...
  s->tapButton(2);
  EXPECT_FALSE(p->bShowingPasswordSheet());
  EXPECT_EQ(store()->getSaveOption("login.test"), 1);
  EXPECT_EQ(stored("login.test", "pw"), "old");
  // ...and the question left "shown" with none on screen counts as "ask".
  submit(p);
  s = sheet();
  ASSERT_TRUE(s);
  // The other "Don't Change" keeps the old login and marks it saved.
  s->tapButton(1);
  EXPECT_EQ(store()->getSaveOption("login.test"), 3);
  EXPECT_EQ(stored("login.test", "pw"), "old");

  submit(p);
  ASSERT_TRUE(sheet());
  sheet()->tapButtonWithTitle("Change");
  EXPECT_EQ(store()->getSaveOption("login.test"), 3);
  EXPECT_EQ(stored("login.test", "pw"), "secret");
  EXPECT_EQ(stored("login.test", "user"), "me");
}

TEST_F(PasswordOfferTest, TheAnswersSetTheSitesOption) {
  VeskWebView* p = open();
  // "Not Now" and the cancel button: ask again next time.
  for (long notNow : {2L, 3L}) {
    submit(p);
    ASSERT_TRUE(sheet());
    sheet()->tapButton(notNow);
    EXPECT_EQ(store()->getSaveOption("login.test"), 0);
    EXPECT_EQ(store()->count(), 0u);
  }
  // A tap beside the sheet (a tablet's popover) counts as the cancel button.
  submit(p);
  ASSERT_TRUE(sheet()->tapOutside());
  EXPECT_EQ(store()->getSaveOption("login.test"), 0);

  // "Never for this site" silences the site for form logins and HTTP logins alike.
  submit(p);
  sheet()->tapButtonWithTitle("Never for this site");
  EXPECT_EQ(store()->getSaveOption("login.test"), 2);
  submit(p);
  p->loadRequest("https://login.test/private/", "me", "pw");
  EXPECT_EQ(sheetCount(), 0u);
  EXPECT_EQ(store()->count(), 0u);
  // Another site still asks.
  p->loadRequest("https://elsewhere.test/private/", "me", "pw");
  EXPECT_EQ(sheetCount(), 1u);
}

TEST_F(PasswordOfferTest, AnHTTPLoginIsOfferedForTheHostOfItsURL) {
  VeskWebView* p = open("https://page.test/");
  p->loadRequest("https://auth.test:8443/area/", "al\xC3\xAD" "ce", "p'w\"d");
  kit::ActionSheet* s = sheet();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->title(), "Do you want Tolva to remember the password on auth.test");
  s->tapButton(0);
  EXPECT_EQ(stored("auth.test", "login"), "al\xC3\xAD" "ce");
  EXPECT_EQ(stored("auth.test", "password"), "p'w\"d");
  EXPECT_EQ(stored("auth.test", "url"), "https://auth.test:8443/area/");
  EXPECT_EQ(store()->getSaveOption("auth.test"), 3);
  EXPECT_EQ(store()->getSaveOption("page.test"), 0);
  // The same login again matches.
  p->loadRequest("https://auth.test:8443/area/", "al\xC3\xAD" "ce", "p'w\"d");
  EXPECT_EQ(sheetCount(), 0u);
}

TEST_F(PasswordOfferTest, NoOfferWithoutASiteOrWithSavingOff) {
  // Pages without a host.
  for (const char* where : {"about:blank", "data:text/html,<form></form>", "file:///tmp/login.html"}) {
    VeskWebView* p = open(where);
    p->setLocation(where);
    submit(p);
    EXPECT_EQ(sheetCount(), 0u) << where;
  }
  VeskWebView* p = open();
  p->loadRequest("data:text/plain,x", "me", "pw");
  EXPECT_EQ(sheetCount(), 0u);

  store()->setOptSavePasswordForTesting(false);
  submit(p);
  p->loadRequest("https://login.test/x", "me", "pw");
  EXPECT_EQ(sheetCount(), 0u);
  EXPECT_EQ(store()->getSaveOption("login.test"), 0);
}

TEST_F(PasswordOfferTest, OneQuestionAtATime) {
  VeskWebView* p = open();
  submit(p);
  ASSERT_EQ(sheetCount(), 1u);
  kit::ActionSheet* first = sheet();
  // While it is up, another submission or HTTP login on the page asks nothing.
  submit(p);
  p->loadRequest("https://elsewhere.test/", "me", "pw");
  EXPECT_EQ(sheetCount(), 1u);
  EXPECT_EQ(sheet(), first);
  EXPECT_EQ(store()->getSaveOption("elsewhere.test"), 0);

  // Another page of the same site does not ask while the question is on screen.
  VeskWebView* second = open();
  submit(second);
  EXPECT_EQ(sheetCount(), 1u);

  // Answered, the page may ask again.
  first->tapButtonWithTitle("Not Now");
  submit(p);
  EXPECT_EQ(sheetCount(), 1u);
  // A question taken away without an answer does not keep the page from asking.
  sheet()->dismissWithClickedButtonIndex(-1, false);
  EXPECT_FALSE(p->bShowingPasswordSheet());
  EXPECT_EQ(store()->getSaveOption("login.test"), 1);
  submit(p);
  EXPECT_EQ(sheetCount(), 1u);
}

TEST_F(PasswordOfferTest, AQuestionLeftShownByAnEarlierRunCountsAsAsk) {
  store()->setSaveOption("login.test", 1);
  VeskWebView* p = open();
  submit(p);
  ASSERT_TRUE(sheet());
  EXPECT_EQ(sheet()->tag(), VeskWebView::kTagSavePassword);
}

TEST_F(PasswordOfferTest, AClosedPageTakesItsQuestionAlong) {
  kit::Ref<kit::ActionSheet> s;
  {
    kit::Ref<VeskWebView> p = VeskWebView::allocInstance({0, 0, 1024, 598}, nullptr, "https://login.test/");
    web(p.get())->setScriptHandler([this](const std::string& script) { return answer(script); });
    submit(p.get());
    s = sheet();
    ASSERT_TRUE(s);
  }
  EXPECT_FALSE(s->isVisible());
  EXPECT_FALSE(s->delegate());
  EXPECT_FALSE(s->tapButton(0));
  EXPECT_EQ(store()->count(), 0u);
  // The site is asked about again.
  VeskWebView* p = open();
  submit(p);
  EXPECT_EQ(sheetCount(), 1u);
}

TEST_F(PasswordOfferTest, MatchingComparesOnlyTheKeysBothRecordsHave) {
  auto dict = [](std::initializer_list<std::pair<const char*, const char*>> kv) {
    kit::Ref<kit::MutableDictionary> d = kit::MutableDictionary::dictionary();
    for (auto& [k, v] : kv) d->setObject(kit::str(v), k);
    return d;
  };
  EXPECT_TRUE(VeskWebView::matchTwoDictionaries(dict({{"u", "me"}, {"p", "x"}}).get(),
                                                dict({{"u", "me"}, {"p", "x"}}).get()));
  EXPECT_TRUE(VeskWebView::matchTwoDictionaries(dict({{"u", "me"}, {"p", "x"}}).get(), dict({{"p", "x"}}).get()));
  EXPECT_TRUE(VeskWebView::matchTwoDictionaries(dict({{"p", "x"}}).get(),
                                                dict({{"p", "x"}, {"extra", "1"}}).get()));
  EXPECT_TRUE(VeskWebView::matchTwoDictionaries(dict({}).get(), dict({{"p", "x"}}).get()));
  EXPECT_FALSE(VeskWebView::matchTwoDictionaries(dict({{"u", "me"}, {"p", "x"}}).get(),
                                                 dict({{"u", "me"}, {"p", "y"}}).get()));
  EXPECT_FALSE(VeskWebView::matchTwoDictionaries(dict({{"p", "x"}}).get(), dict({{"p", ""}}).get()));
}

TEST_F(PasswordOfferTest, ThePageScriptsGoInAtLoadStartAndFinish) {
  VeskWebView* p = open("http://site.test/");
  kit::HeadlessWebView* w = web(p);
  const std::string& context = VeskWebView::getContextJSCode();
  bool injected = false;
  w->setScriptHandler([&](const std::string& script) -> std::optional<std::string> {
    if (script == context) injected = true;
    if (script == "isInjected().toString();") return injected ? "true" : "false";
    return std::nullopt;
  });
  w->clearEvaluatedScripts();
  w->fireDidStart();
  EXPECT_EQ(w->evaluatedScripts(), (std::vector<std::string>{"isInjected().toString();", context,
                                                             "injectLinkTargets();", "injectPopupHandler(window);"}));

  // A new document without the script: it goes in first thing at the finish, then again with the link targets.
  injected = false;
  w->clearEvaluatedScripts();
  w->fireDidFinish();
  const std::vector<std::string>& s = w->evaluatedScripts();
  ASSERT_GE(s.size(), 3u);
  EXPECT_EQ(s[0], "isInjected().toString();");
  EXPECT_EQ(s[1], context);
  EXPECT_EQ(s[2], "injectPopupHandler(window);");
  EXPECT_EQ(w->evaluatedCount(context), 1u);
  loop().advance(0.5);
  EXPECT_EQ(w->evaluatedCount(context), 1u);
  EXPECT_EQ(w->evaluatedCount("injectLinkTargets();"), 1u);

  // Injected already: the finish adds nothing but the later link targets.
  w->clearEvaluatedScripts();
  p->injectJSandPopupHandler();
  EXPECT_EQ(w->evaluatedScripts(), (std::vector<std::string>{"isInjected().toString();"}));

  // A page without a web view is left alone.
  VeskWebView* later = pages.emplace_back(VeskWebView::allocInstance({}, nullptr, "http://x.test/", false)).get();
  later->injectJscode();
  later->injectJSandPopupHandler();
  EXPECT_FALSE(later->existingWebView());
}

}  // namespace
