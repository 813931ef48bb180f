#include "settings/PrefAppSettingsWebViewController.h"

#include "SettingsTest.h"
#include "kit/net/URLRequest.h"
#include "kit/ui/HeadlessURLOpener.h"
#include "kit/ui/HeadlessWebView.h"
#include "kit/ui/Window.h"

using namespace settingstest;
using namespace tolva;

namespace {

using Fields = PrefAppSettingsWebViewController::MailtoFields;
using Strings = std::vector<std::string>;

TEST(MailtoParserTest, AddressAndParameters) {
  auto f = PrefAppSettingsWebViewController::parseMailto("me%40example.org?Subject=Hi%20there&body=Line&cc=a@x,b@x");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->to, Strings{"me%40example.org"}) << "the address is taken as written";
  EXPECT_EQ(f->subject, "Hi there");
  EXPECT_EQ(f->body, "Line");
  EXPECT_EQ(f->cc, (Strings{"a@x", "b@x"}));
}

TEST(MailtoParserTest, EmptyAddressWithOnlyASubject) {
  auto f = PrefAppSettingsWebViewController::parseMailto("?subject=Hello");
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->to.empty());
  EXPECT_EQ(f->subject, "Hello");
}

TEST(MailtoParserTest, TwoQuestionMarksDoNothing) {
  EXPECT_EQ(PrefAppSettingsWebViewController::parseMailto("a@x?subject=1?2"), std::nullopt);
}

TEST(MailtoParserTest, ToAccumulatesCcAndBccAreReplaced) {
  auto f = PrefAppSettingsWebViewController::parseMailto("a@x?to=b@x,c@x&cc=1@x&to=d@x&cc=2@x&bcc=3@x&bcc=4@x");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->to, (Strings{"a@x", "b@x", "c@x", "d@x"}));
  EXPECT_EQ(f->cc, Strings{"2@x"});
  EXPECT_EQ(f->bcc, Strings{"4@x"});
}

TEST(MailtoParserTest, MalformedPiecesAreSkipped) {
  auto f = PrefAppSettingsWebViewController::parseMailto("a@x?subject&body=a=b&&subject=%zz&unknown=1");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->body, "") << "a piece with two '=' is skipped";
  EXPECT_EQ(f->subject, "%zz") << "an escape that does not decode stays as written";
  EXPECT_EQ(f->to, Strings{"a@x"});
}

class WebPageTest : public SettingsTest {
 protected:
  kit::Ref<PrefAppSettingsWebViewController> show(const std::string& file) {
    kit::Ref<PrefAppSettingsWebViewController> page(new PrefAppSettingsWebViewController(file, "unused"));
    window = makeKeyWindow();
    window->setRootViewController(page.get());
    loop().advance(1);
    return page;
  }
  void TearDown() override {
    if (window) window->setRootViewController(nullptr);
    window = nullptr;
    loop().advance(1);
    SettingsTest::TearDown();
  }
  static kit::HeadlessWebView* web(PrefAppSettingsWebViewController& page) {
    return dynamic_cast<kit::HeadlessWebView*>(page.webView());
  }
  kit::Ref<kit::Window> window;
};

TEST_F(WebPageTest, ABundlePageLoadsAndTakesItsTitle) {
  writeText("help.html", "<title>Help</title>");
  auto page = show("help.html");
  ASSERT_NE(page->url(), nullptr);
  EXPECT_TRUE(page->url()->isFileURL());
  kit::HeadlessWebView* wv = web(*page);
  ASSERT_NE(wv, nullptr);
  EXPECT_TRUE(wv->scalesPageToFit());
  ASSERT_NE(wv->lastLoadedRequest(), nullptr);
  EXPECT_EQ(wv->request(), wv->lastLoadedRequest()) << "the bundle's own file page may load";
  wv->setScriptAnswer("document.title", "Help");
  wv->completeLoad();
  EXPECT_EQ(page->title(), "Help");
}

TEST_F(WebPageTest, MissingResourcesLoadNothingAndURLsAreTakenAsGiven) {
  auto missing = show("nothing.html");
  EXPECT_EQ(missing->url(), nullptr);
  EXPECT_EQ(web(*missing)->lastLoadedRequest(), nullptr);
  auto site = show("https://example.org/help");
  ASSERT_NE(site->url(), nullptr);
  EXPECT_EQ(site->url()->absoluteString(), "https://example.org/help");
}

TEST_F(WebPageTest, LinkPolicy) {
  writeText("help.html", "x");
  auto page = show("help.html");
  kit::HeadlessWebView* wv = web(*page);
  using Nav = kit::WebViewNavigationType;
  EXPECT_TRUE(wv->fireShouldStart("https://example.org/", Nav::LinkClicked));
  EXPECT_TRUE(wv->fireShouldStart("HTTP://example.org/", Nav::LinkClicked)) << "schemes regardless of case";
  EXPECT_TRUE(wv->fireShouldStart(kit::URL::fileURLWithPath(bundle_ + "/other.html")->absoluteString(), Nav::LinkClicked));
  EXPECT_FALSE(wv->fireShouldStart("file:///etc/passwd", Nav::LinkClicked)) << "only the bundle's own files";
  EXPECT_FALSE(wv->fireShouldStart(kit::URL::fileURLWithPath(bundle_ + "/../x.html")->absoluteString(), Nav::LinkClicked));

  auto& opener = kit::Application::sharedApplication()->headlessURLOpener();
  opener.addOpenableScheme("tel");
  EXPECT_FALSE(wv->fireShouldStart("tel:123", Nav::LinkClicked));
  EXPECT_FALSE(wv->fireShouldStart("unknown:thing", Nav::LinkClicked));
  EXPECT_EQ(opener.openedURLs(), Strings{"tel:123"}) << "what the system can open goes to it";

  EXPECT_FALSE(wv->fireShouldStart("mailto:a@x?subject=1?2", Nav::LinkClicked));
  EXPECT_EQ(page->presentedViewController(), nullptr);
  EXPECT_FALSE(wv->fireShouldStart("MAILTO:?subject=Hi&to=b@x", Nav::LinkClicked));
  auto* composer = dynamic_cast<kit::MailComposeViewController*>(page->presentedViewController());
  ASSERT_NE(composer, nullptr);
  EXPECT_EQ(composer->subject(), "Hi");
  EXPECT_EQ(composer->toRecipients(), Strings{"b@x"});
  EXPECT_EQ(composer->mailComposeDelegate(), page.get());
  loop().advance(1);
  composer->finish(kit::MailComposeResult::Cancelled);
  loop().advance(1);
  EXPECT_EQ(page->presentedViewController(), nullptr);
}

}  // namespace
