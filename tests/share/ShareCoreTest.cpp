// The configuration, the share item, the kit's plain functions, favourites
// and exclusions, the credential keychain wrapper and the small additions.

#include "ShareTest.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Exception.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/security/KeychainStatus.h"
#include "kit/ui/Color.h"
#include "share/core/CredentialKeychain.h"
#include "share/core/NSNullsToEmptyStrings.h"
#include "share/core/ShareColor.h"
#include "share/core/ShareFunctions.h"
#include "share/core/md5.h"
#include "share/local/ShareMail.h"
#include "shell/VeskSharingConfigurator.h"

using namespace tolva;
using sharetest::ShareTest;

namespace {

std::string text(const kit::Object* o) {
  auto* s = kit::cast<kit::String>(const_cast<kit::Object*>(o));
  return s ? s->str() : "<not text>";
}

class NamedScreen : public kit::Object {
 public:
  explicit NamedScreen(std::string name) : name_(std::move(name)) {}
  std::string className() const override { return name_; }

 private:
  std::string name_;
};

}  // namespace

TEST_F(ShareTest, EveryConfigurationKeyAnswersItsDefaultAndUnknownKeysAnswerNull) {
  ShareConfiguration* c = ShareConfiguration::sharedInstance();
  const std::map<std::string, std::string> texts = {
      {"appName", "My App Name"}, {"facebookAppId", ""}, {"flickrCallbackUrl", "app://flickr"},
      {"barStyle", "UIBarStyleDefault"}, {"modalPresentationStyle", "UIModalPresentationFormSheet"},
      {"modalTransitionStyle", "UIModalTransitionStyleCoverVertical"}, {"sharersPlistName", "ShareSharers.plist"},
      {"favsPrefixKey", "SHARE_FAVS_"}, {"authPrefix", "SHARE_AUTH_"}, {"twitterSecret", ""}};
  for (const auto& [key, value] : texts) EXPECT_EQ(text(c->configurationValue(key, nullptr).get()), value) << key;
  auto number = [&](const char* key) {
    kit::Ref<kit::Object> v = c->configurationValue(key, nullptr);
    auto* n = kit::cast<kit::Number>(v);
    return n ? n->integerValue() : -99;
  };
  EXPECT_EQ(number("maxFavCount"), 3);
  EXPECT_EQ(number("twitterUseXAuth"), 0);
  EXPECT_EQ(number("allowOffline"), 1);
  EXPECT_EQ(number("allowAutoShare"), 1);
  EXPECT_EQ(number("autoOrderFavoriteSharers"), 1);
  EXPECT_EQ(number("showActionSheetMoreButton"), 1);
  EXPECT_EQ(number("usePlaceholders"), 0);
  EXPECT_EQ(number("forcePreIOS5TwitterAccess"), 0);
  EXPECT_EQ(ShareConfiguration::stringListValue("defaultFavoriteURLSharers"),
            (std::vector<std::string>{"ShareTwitter", "ShareFacebook", "ShareReadItLater", "ShareVkontakte"}));
  EXPECT_EQ(ShareConfiguration::stringListValue("facebookListOfPermissions"),
            (std::vector<std::string>{"publish_stream", "offline_access"}));
  EXPECT_EQ(c->configurationValue("formFontColor", nullptr), nullptr);
  EXPECT_EQ(c->configurationValue("noSuchKey", nullptr), nullptr);
  EXPECT_EQ(c->configurationValue("barTintForView", nullptr), nullptr);
  EXPECT_FALSE(ShareConfiguration::boolValue("noSuchSwitch"));
  // Every key of the table is a key of the configurator.
  for (const char* key : {"appURL", "vkontakteAppId", "facebookLocalAppId", "readItLaterKey", "twitterConsumerKey",
                          "twitterCallbackUrl", "twitterUsername", "evernoteUserStoreURL", "evernoteNetStoreURLBase",
                          "evernoteConsumerKey", "evernoteSecret", "flickrConsumerKey", "flickrSecretKey",
                          "bitLyLogin", "bitLyKey", "linkedInConsumerKey", "linkedInSecret", "linkedInCallbackUrl",
                          "foursquareV2ClientId", "foursquareV2RedirectURI", "barTintForView:",
                          "formBackgroundColor", "shareMenuAlphabeticalOrder", "sharedWithSignature",
                          "defaultFavoriteImageSharers", "defaultFavoriteTextSharers", "defaultFavoriteFileSharers"})
    EXPECT_TRUE(DefaultShareConfigurator::hasKey(key)) << key;
}

TEST_F(ShareTest, TheBrowsersConfiguratorOverridesItsKeysAndTintsTwoServices) {
  ShareConfiguration::resetForTesting();
  ShareConfiguration* c = ShareConfiguration::sharedInstanceWithConfigurator(kit::make<VeskSharingConfigurator>());
  EXPECT_EQ(text(c->configurationValue("appName", nullptr).get()), "Tolva Browser");
  EXPECT_EQ(text(c->configurationValue("facebookAppId", nullptr).get()), "482913607558214");
  EXPECT_EQ(text(c->configurationValue("bitLyKey", nullptr).get()), "R_8f3c2a9d61e04b7c5a2e9f18d3b6c04a");
  EXPECT_EQ(text(c->configurationValue("foursquareV2RedirectURI", nullptr).get()), "app://foursquare");
  // Keys it leaves alone keep the kit's default.
  EXPECT_EQ(text(c->configurationValue("authPrefix", nullptr).get()), "SHARE_AUTH_");

  NamedScreen twitter("ShareTwitter"), facebook("ShareFacebook"), other("ShareMail");
  kit::Ref<kit::Object> t = c->configurationValue("barTintForView:", &twitter);
  ASSERT_TRUE(kit::cast<ShareColor>(t));
  EXPECT_EQ(kit::cast<ShareColor>(t)->color(), kit::Color::rgba(0, 151 / 255.0, 222 / 255.0, 1));
  kit::Ref<kit::Object> f = c->configurationValue("barTintForView:", &facebook);
  ASSERT_TRUE(kit::cast<ShareColor>(f));
  EXPECT_EQ(kit::cast<ShareColor>(f)->color(), kit::Color::rgba(59 / 255.0, 89 / 255.0, 152 / 255.0, 1));
  EXPECT_EQ(c->configurationValue("barTintForView:", &other), nullptr);
  EXPECT_EQ(c->configurationValue("barTintForView:", nullptr), nullptr);
}

TEST_F(ShareTest, ConfiguringTwiceRaisesAndKeepsTheFirstAndUnconfiguredUseRaises) {
  ShareConfiguration* first = ShareConfiguration::sharedInstance();
  try {
    ShareConfiguration::sharedInstanceWithConfigurator(kit::make<VeskSharingConfigurator>());
    ADD_FAILURE() << "no exception";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), "IllegalStateException");
    EXPECT_EQ(e.reason(), "ShareConfiguration has already been configured with a delegate.");
  }
  EXPECT_EQ(ShareConfiguration::sharedInstance(), first);
  EXPECT_EQ(ShareConfiguration::stringValue("appName"), "My App Name");
  ShareConfiguration::resetForTesting();
  EXPECT_THROW(ShareConfiguration::sharedInstance(), kit::IllegalStateException);
  ShareConfiguration::sharedInstanceWithConfigurator(kit::make<DefaultShareConfigurator>());
}

TEST_F(ShareTest, ItemsRoundTripThroughTheirDictionaryForm) {
  kit::Ref<ShareItem> url = ShareItem::URL(kit::URL::URLWithString("http://example.com/a"));
  EXPECT_EQ(url->shareType(), ShareShareTypeURL);
  EXPECT_TRUE(url->title().empty());
  kit::Ref<kit::Dictionary> d = url->dictionaryRepresentation();
  EXPECT_EQ(d->count(), 2u);
  EXPECT_EQ(text(d->objectForKey("URL")), "http://example.com/a");

  // Escapes stay as given: decoded, %2F and %3F would change the URL.
  const std::string escaped = "http://example.com/a%20b/c%2Fd?q=1%26x%3F";
  kit::Ref<ShareItem> back =
      ShareItem::itemFromDictionary(ShareItem::URL(kit::URL::URLWithString(escaped), "T")->dictionaryRepresentation());
  ASSERT_TRUE(back->URL());
  EXPECT_EQ(back->URL()->absoluteString(), escaped);
  EXPECT_EQ(back->title(), "T");
  // A record written the old way (escapes decoded) still loads.
  kit::Ref<ShareItem> old = ShareItem::itemFromDictionary(
      kit::Ref<kit::Dictionary>(new kit::Dictionary({{"shareType", kit::num(1)}, {"URL", kit::str("http://x.org/a b")}})));
  ASSERT_TRUE(old->URL());
  EXPECT_EQ(old->URL()->absoluteString(), "http://x.org/a%20b");

  kit::Ref<ShareItem> t = ShareItem::text("hello");
  t->setTags("a b");
  t->setCustomValue("1", "follow");
  t->setCustomValue("0", "private");
  kit::Ref<ShareItem> t2 = ShareItem::itemFromDictionary(t->dictionaryRepresentation());
  EXPECT_EQ(t2->shareType(), ShareShareTypeText);
  EXPECT_EQ(t2->text(), "hello");
  EXPECT_EQ(t2->tags(), "a b");
  EXPECT_TRUE(t2->customBoolForSwitchKey("follow"));
  EXPECT_FALSE(t2->customBoolForSwitchKey("private"));
  EXPECT_FALSE(t2->customBoolForSwitchKey("missing"));
  t2->setCustomValue("x", "other");  // the rebuilt custom values are mutable
  EXPECT_EQ(t2->customStringForKey("other"), "x");

  std::vector<uint8_t> red(2 * 3 * 4, 0);
  for (size_t i = 0; i < red.size(); i += 4) red[i] = red[i + 3] = 255;
  kit::Ref<ShareItem> picture = ShareItem::image(kit::Image::imageWithPixels({2, 3}, red), "Pic");
  kit::Ref<kit::Dictionary> pd = picture->dictionaryRepresentation();
  auto* png = kit::cast<kit::Data>(pd->objectForKey("image"));
  ASSERT_TRUE(png);
  EXPECT_EQ(png->view().substr(0, 4), "\x89PNG");
  kit::Ref<ShareItem> p2 = ShareItem::itemFromDictionary(pd);
  EXPECT_EQ(p2->shareType(), ShareShareTypeImage);
  ASSERT_TRUE(p2->image());
  EXPECT_EQ(p2->image()->pixelWidth(), 2u);
  EXPECT_EQ(p2->image()->pixelHeight(), 3u);
  EXPECT_EQ(p2->image()->pixelAt(1, 2), picture->image()->pixelAt(1, 2));
  EXPECT_EQ(p2->title(), "Pic");

  kit::Ref<ShareItem> file = ShareItem::file(kit::Data::dataWithString("PDF"), "a.pdf", "application/pdf", "Doc");
  kit::Ref<kit::Dictionary> fd = file->dictionaryRepresentation();
  EXPECT_TRUE(kit::cast<kit::Data>(fd->objectForKey("data")));
  kit::Ref<ShareItem> f2 = ShareItem::itemFromDictionary(fd);
  EXPECT_EQ(f2->data(), nullptr);
  EXPECT_EQ(f2->filename(), "a.pdf");
  EXPECT_EQ(f2->mimeType(), "application/pdf");
  EXPECT_EQ(f2->title(), "Doc");
}

TEST_F(ShareTest, CustomValuesAndTypeNames) {
  auto item = kit::make<ShareItem>();
  EXPECT_EQ(item->custom(), nullptr);
  item->setCustomValue(kit::Ref<kit::Object>(), "x");  // removing creates the dictionary
  ASSERT_NE(item->custom(), nullptr);
  item->setCustomValue("1", "x");
  item->setCustomValue(kit::Ref<kit::Object>(), "x");
  EXPECT_EQ(item->customValueForKey("x"), nullptr);
  EXPECT_EQ(ShareItem::shareTypeToString(0), "ShareShareTypeUndefined");
  EXPECT_EQ(ShareItem::shareTypeToString(4), "ShareShareTypeFile");
  EXPECT_EQ(ShareItem::shareTypeToString(5), "ShareShareTypeUserInfo");
  // A damaged record must not bring the description down.
  EXPECT_EQ(ShareItem::shareTypeToString(77), "unknown");
  kit::Ref<ShareItem> damaged = ShareItem::itemFromDictionary(
      kit::Ref<kit::Dictionary>(new kit::Dictionary({{"shareType", kit::num(77)}})));
  EXPECT_NE(damaged->description().find("Share type: unknown"), std::string::npos);
}

TEST_F(ShareTest, PlainFunctions) {
  EXPECT_EQ(SharePercentEncodeText("a&amp;b c+d"), "a%26b%20c%2Bd");
  EXPECT_EQ(SharePercentEncodeText(""), "");
  EXPECT_EQ(SharePercentEncodeText("#!@"), "%23%21%40");
  EXPECT_EQ(SharePercentEncodeURL(nullptr), "");
  EXPECT_EQ(SharePercentEncodeURL(kit::URL::URLWithString("http://a.b/c?d=e&f").get()),
            "http%3A%2F%2Fa.b%2Fc%3Fd%3De%26f");
  EXPECT_EQ(ShareStripHTML("<p>Hello</p>\n<b>x</b>", false), "Hello  x");
  EXPECT_EQ(ShareStripHTML("<p>a</p>\nb", true), "a \nb");
  EXPECT_EQ(ShareStripHTML("a < b", false), "a < b");
  // Mail's HTML and a note's XML escape alike but for the apostrophe.
  EXPECT_EQ(ShareEscapeMarkup("a&b<c>\"d'e", "&#39;"), "a&amp;b&lt;c&gt;&quot;d&#39;e");
  EXPECT_EQ(ShareMail::escapeHTML("it's"), "it&#39;s");
  // A stored or translated text is never a format: what has no argument stays as written.
  EXPECT_EQ(ShareLocalizedFormat("Saving to %@", {"X"}), "Saving to X");
  EXPECT_EQ(ShareLocalizedFormat("%@ and %@ %d %s %n", {"a"}), "a and %@ %d %s %n");
  EXPECT_EQ(ShareLocalizedFormat("100%% %@", {"a", "b"}), "100% a");
}

TEST_F(ShareTest, FavouritesArePrunedMovedToTheFrontAndTrimmed) {
  // The default URL list less what the resource doesn't list (ShareReadItLater, ShareVkontakte).
  EXPECT_EQ(Share::favoriteSharersForType(ShareShareTypeURL),
            (std::vector<std::string>{"ShareTwitter", "ShareFacebook"}));
  EXPECT_TRUE(defaults().exists("SHARE_FAVS_1"));
  EXPECT_EQ(defaults().arrayForKey("SHARE_FAVS_1")->count(), 2u);
  EXPECT_TRUE(Share::favoriteSharersForType(ShareShareTypeUserInfo).empty());

  Share::pushOnFavorites(sharetest::ShareTestSharer::kName, ShareShareTypeURL);
  EXPECT_EQ(Share::favoriteSharersForType(ShareShareTypeURL),
            (std::vector<std::string>{"ShareTestSharer", "ShareTwitter", "ShareFacebook"}));
  // The one at position 3 of three moves to the front.
  Share::pushOnFavorites("ShareFacebook", ShareShareTypeURL);
  EXPECT_EQ(Share::favoriteSharersForType(ShareShareTypeURL),
            (std::vector<std::string>{"ShareFacebook", "ShareTestSharer", "ShareTwitter"}));
  // A fourth pushes the last one out.
  Share::pushOnFavorites("ShareMail", ShareShareTypeURL);
  EXPECT_EQ(Share::favoriteSharersForType(ShareShareTypeURL),
            (std::vector<std::string>{"ShareMail", "ShareFacebook", "ShareTestSharer"}));

  // An excluded name is neither pushed nor returned.
  auto off = kit::MutableArray::array();
  off->addObject(kit::str("ShareFacebook"));
  defaults().setArray(off.get(), Share::kExcludedKey);
  Share::pushOnFavorites("ShareFacebook", ShareShareTypeURL);
  EXPECT_EQ(Share::favoriteSharersForType(ShareShareTypeURL),
            (std::vector<std::string>{"ShareMail", "ShareTestSharer"}));
  EXPECT_EQ(defaults().arrayForKey("SHARE_FAVS_1")->count(), 2u);

  Share::setUserExclusions(off.get());
  EXPECT_TRUE(kit::isEqual(Share::getUserExclusions().get(), off.get()));
  EXPECT_TRUE(defaults().exists("SHARE_FAVS_Exclusions"));
}

class ManualOrderTest : public ShareTest {
  class NoAutoOrder : public DefaultShareConfigurator {
    bool autoOrderFavoriteSharers() const override { return false; }
    long maxFavCount() const override { return 1; }
  };
  kit::Ref<DefaultShareConfigurator> configurator() override { return kit::make<NoAutoOrder>(); }
};

TEST_F(ManualOrderTest, PushingLeavesTheListWhenAutomaticOrderingIsOff) {
  Share::pushOnFavorites("ShareMail", ShareShareTypeURL);
  EXPECT_EQ(Share::favoriteSharersForType(ShareShareTypeURL),
            (std::vector<std::string>{"ShareTwitter", "ShareFacebook"}));
}

TEST_F(ShareTest, CredentialKeychainReportsTheKeychainsStatus) {
  kit::Ref<kit::Error> error;
  EXPECT_TRUE(CredentialKeychain::setPassword("one", "svc", "acct"));
  EXPECT_TRUE(CredentialKeychain::setPassword("two", "svc", "acct"));
  EXPECT_EQ(CredentialKeychain::passwordForService("svc", "acct"), "two");
  kit::Ref<kit::Array> accounts = CredentialKeychain::accountsForService("svc", &error);
  ASSERT_TRUE(accounts);
  EXPECT_EQ(accounts->count(), 1u);
  EXPECT_EQ(CredentialKeychain::allAccounts()->count(), 1u);

  EXPECT_FALSE(CredentialKeychain::passwordForService("svc", std::nullopt, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), "com.dorvane.credentialkeychain");
  EXPECT_EQ(error->code(), -1001);
  error = nullptr;
  EXPECT_FALSE(CredentialKeychain::setPassword(std::nullopt, "svc", "acct", &error));
  EXPECT_EQ(error->code(), -1001);
  error = nullptr;
  EXPECT_FALSE(CredentialKeychain::passwordForService("svc", "nobody", &error));
  EXPECT_EQ(error->code(), kit::kKeychainItemNotFound);
  error = nullptr;
  EXPECT_FALSE(CredentialKeychain::deletePasswordForService("svc", "nobody", &error));
  EXPECT_EQ(error->code(), kit::kKeychainItemNotFound);
  EXPECT_TRUE(CredentialKeychain::deletePasswordForService("svc", "acct"));
  EXPECT_FALSE(CredentialKeychain::passwordForService("svc", "acct"));
  // An empty password reads as none, without an error.
  error = nullptr;
  EXPECT_TRUE(CredentialKeychain::setPassword("", "svc", "empty"));
  EXPECT_FALSE(CredentialKeychain::passwordForService("svc", "empty", &error));
  EXPECT_FALSE(error);
}

TEST_F(ShareTest, AFailedPasswordChangeKeepsTheOldOne) {
  auto store = std::make_shared<kit::MemoryKeychainStore>();
  kit::Keychain::installSharedStore(store);
  EXPECT_TRUE(CredentialKeychain::setPassword("old", "svc", "acct"));
  store->failSavesWith(kit::kKeychainIOError);
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(CredentialKeychain::setPassword("new", "svc", "acct", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kit::kKeychainIOError);
  store->failSavesWith(kit::kKeychainSuccess);
  EXPECT_EQ(CredentialKeychain::passwordForService("svc", "acct"), "old");
  EXPECT_EQ(CredentialKeychain::allAccounts()->count(), 1u);
}

TEST_F(ShareTest, MD5MatchesTheRFCVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"}};
  for (const auto& [in, out] : vectors) EXPECT_EQ(md5::md5(kit::Data::dataWithString(in).get()), out) << in;
}

TEST_F(ShareTest, NullsBecomeEmptyTextInDictionariesButNotInArrays) {
  auto inner = kit::Ref<kit::Dictionary>(new kit::Dictionary({{"n", kit::Null::null()}, {"s", kit::str("x")}}));
  auto list = kit::Ref<kit::Array>(new kit::Array({kit::Null::null()}));
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::Null::null(), "a");
  d->setObject(inner, "inner");
  d->setObject(list, "list");
  NSNullsToEmptyStrings::convertNSNullsToEmptyStrings(d.get());
  EXPECT_EQ(text(d->objectForKey("a")), "");
  auto* converted = kit::cast<kit::Dictionary>(d->objectForKey("inner"));
  ASSERT_TRUE(converted);
  EXPECT_EQ(text(converted->objectForKey("n")), "");
  EXPECT_EQ(text(converted->objectForKey("s")), "x");
  EXPECT_TRUE(kit::cast<kit::Null>(kit::cast<kit::Array>(d->objectForKey("list"))->objectAtIndex(0)));
}
