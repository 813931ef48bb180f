// The saved-password store over a memory keychain: what goes to user
// defaults and what to the keychain, the save options across a restart, the
// lists the management screen reads, deleting, and a keychain that fails.

#include <fstream>
#include <thread>
#include <vector>
#include <sstream>

#include "PasswordTestSupport.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/Paths.h"
#include "settings/PrefSettingsNotification.h"

using tolva::VeskPagePasswordDatabase;

namespace {

class PagePasswordStoreTest : public datatest::PasswordTest {
 protected:
  static std::string preferencesText() {
    defaults().synchronize();
    std::ifstream in(defaults().path());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static std::string field(const kit::Dictionary* d, const char* key) {
    auto* v = d ? d->get<kit::String>(key) : nullptr;
    return v ? v->str() : "(none)";
  }
};

TEST_F(PagePasswordStoreTest, ALoginIsSplitBetweenUserDefaultsAndTheKeychainAndComesBackWhole) {
  store()->updatePassword("pw", form({{"user", "alice"}, {"pw", "s3cret"}}).get(), "login.test");
  EXPECT_EQ(store()->count(), 1u);
  EXPECT_EQ(storedField("login.test", "user"), "alice");
  EXPECT_EQ(storedField("login.test", "password_key"), "pw");
  EXPECT_EQ(storedField("login.test", "pw"), std::nullopt);
  EXPECT_EQ(keychainPassword("login.test"), "s3cret");
  EXPECT_EQ(preferencesText().find("s3cret"), std::string::npos);

  // The next run reads it all back.
  restart();
  kit::Ref<kit::MutableDictionary> fields = store()->retrieveByURL("login.test");
  ASSERT_TRUE(fields);
  EXPECT_TRUE(fields->isMutable());
  EXPECT_EQ(fields->count(), 2u);
  EXPECT_EQ(field(fields.get(), "user"), "alice");
  EXPECT_EQ(field(fields.get(), "pw"), "s3cret");
  // Handed out as a copy: changing it changes nothing stored.
  fields->setObject(kit::str("x"), "user");
  EXPECT_EQ(field(store()->retrieveByURL("login.test").get(), "user"), "alice");
  EXPECT_FALSE(store()->retrieveByURL("other.test"));

  // The password gone from the keychain: the fields come back without it.
  keychain().remove(kit::KeychainQuery{std::string("veskweb"), std::string("login.test"), {}, 1});
  fields = store()->retrieveByURL("login.test");
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->count(), 1u);
  EXPECT_EQ(field(fields.get(), "user"), "alice");
}

TEST_F(PagePasswordStoreTest, ASecondSaveReplacesTheEntryAndOnlyADifferentPasswordIsWritten) {
  store()->updatePassword("pw", form({{"user", "alice"}, {"pw", "one"}}).get(), "login.test");
  // The same password again needs no keychain write, so a failing keychain does not stop the new fields.
  keychainStore->failSavesWith(kit::kKeychainIOError);
  store()->updatePassword("pw", form({{"name", "alice2"}, {"pw", "one"}}).get(), "login.test");
  EXPECT_EQ(storedField("login.test", "name"), "alice2");
  EXPECT_EQ(storedField("login.test", "user"), std::nullopt);

  // A different password the keychain refuses: entry and password stay as they were.
  store()->updatePassword("secret", form({{"login", "bob"}, {"secret", "two"}}).get(), "login.test");
  EXPECT_EQ(storedField("login.test", "name"), "alice2");
  EXPECT_EQ(storedField("login.test", "password_key"), "pw");
  EXPECT_EQ(keychainPassword("login.test"), "one");
  EXPECT_EQ(field(store()->retrieveByURL("login.test").get(), "pw"), "one");
  // Nor does a new site get an entry without its password.
  store()->updatePassword("pw", form({{"user", "carol"}, {"pw", "three"}}).get(), "new.test");
  EXPECT_FALSE(store()->retrieveByURL("new.test"));

  keychainStore->failSavesWith(kit::kKeychainSuccess);
  store()->updatePassword("secret", form({{"login", "bob"}, {"secret", "two"}}).get(), "login.test");
  EXPECT_EQ(keychainPassword("login.test"), "two");
  EXPECT_EQ(field(store()->retrieveByURL("login.test").get(), "secret"), "two");
  EXPECT_EQ(keychain().items().size(), 1u);
  EXPECT_EQ(store()->count(), 1u);
}

TEST_F(PagePasswordStoreTest, WhatCannotBeSavedWritesNothing) {
  // The named password field is missing: the keychain wrapper's missing argument.
  store()->updatePassword("pw", form({{"user", "alice"}}).get(), "login.test");
  EXPECT_EQ(store()->count(), 0u);
  EXPECT_TRUE(keychain().items().empty());
  // No site (a page without a host), or no fields.
  store()->updatePassword("pw", form({{"pw", "x"}}).get(), "");
  store()->updatePassword("pw", nullptr, "login.test");
  EXPECT_EQ(store()->count(), 0u);
  EXPECT_TRUE(keychain().items().empty());
  store()->setSaveOption("", 2);
  EXPECT_EQ(store()->getSaveOption(""), 0);
  EXPECT_FALSE(store()->retrieveByURL(""));
  EXPECT_EQ(store()->retrieveIDCandidateFromSavedPassword(""), std::nullopt);
  store()->deleteByURL("");
  kit::Ref<kit::Dictionary> options = defaults().dictionaryForKey("passwords_status");
  EXPECT_TRUE(!options || options->count() == 0u);
}

TEST_F(PagePasswordStoreTest, AnItemWithoutDataIsReplacedBySavingTheSite) {
  ASSERT_EQ(keychain().add(kit::KeychainItem{"veskweb", "login.test", "veskweb", std::nullopt}),
            kit::kKeychainSuccess);
  store()->updatePassword("pw", form({{"user", "alice"}, {"pw", "s3cret"}}).get(), "login.test");
  EXPECT_EQ(keychainPassword("login.test"), "s3cret");
  EXPECT_EQ(keychain().items().size(), 1u);
  EXPECT_EQ(field(store()->retrieveByURL("login.test").get(), "pw"), "s3cret");
}

TEST_F(PagePasswordStoreTest, OptionsAreKeptAndAnUnansweredQuestionReadsAsAskAfterARestart) {
  EXPECT_EQ(store()->getSaveOption("a.test"), 0);
  store()->setSaveOption("a.test", 1);
  store()->setSaveOption("b.test", 2);
  store()->setSaveOption("c.test", 3);
  EXPECT_EQ(store()->getSaveOption("a.test"), 1);  // within the run it stays
  kit::Ref<kit::Dictionary> stored = defaults().dictionaryForKey("passwords_status");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->count(), 3u);

  restart();
  EXPECT_EQ(store()->getSaveOption("a.test"), 0);
  EXPECT_EQ(store()->getSaveOption("b.test"), 2);
  EXPECT_EQ(store()->getSaveOption("c.test"), 3);
  // The table is a mutable copy: a change goes back to user defaults as a whole.
  store()->setSaveOption("d.test", 2);
  stored = defaults().dictionaryForKey("passwords_status");
  EXPECT_EQ(stored->count(), 4u);
}

TEST_F(PagePasswordStoreTest, EmptyTablesAreStoredAtTheirFirstUse) {
  EXPECT_FALSE(defaults().exists("passwords"));
  EXPECT_EQ(store()->count(), 0u);
  EXPECT_TRUE(defaults().exists("passwords"));
  EXPECT_FALSE(defaults().exists("passwords_status"));
  EXPECT_EQ(store()->getSaveOption("x.test"), 0);
  EXPECT_TRUE(defaults().exists("passwords_status"));
}

TEST_F(PagePasswordStoreTest, TheListsTheManagementScreenReads) {
  EXPECT_EQ(store()->retrieveNeverAskURLs(), nullptr);
  store()->setSaveOption("saved.test", 3);
  EXPECT_EQ(store()->retrieveNeverAskURLs(), nullptr);
  store()->setSaveOption("never1.test", 2);
  store()->setSaveOption("never2.test", 2);
  kit::Ref<kit::Array> never = store()->retrieveNeverAskURLs();
  ASSERT_TRUE(never);
  ASSERT_EQ(never->count(), 2u);
  EXPECT_EQ(never->get<kit::String>(0)->str(), "never1.test");
  EXPECT_EQ(never->get<kit::String>(1)->str(), "never2.test");

  store()->updatePassword("pw", form({{"user", "alice"}, {"pw", "1"}}).get(), "b.test");
  store()->updatePassword("pw", form({{"pw", "2"}}).get(), "a.test");
  store()->updatePassword("password", form({{"login", "bob"}, {"password", "3"}, {"url", "http://c.test/"}}).get(),
                          "c.test");
  EXPECT_EQ(store()->retrieveURLByIndex(0), "b.test");
  EXPECT_EQ(store()->retrieveURLByIndex(1), "a.test");
  EXPECT_EQ(store()->retrieveURLByIndex(2), "c.test");
  EXPECT_EQ(store()->retrieveURLByIndex(3), std::nullopt);
  EXPECT_EQ(store()->retrieveIDCandidateFromSavedPassword("b.test"), "alice");
  EXPECT_EQ(store()->retrieveIDCandidateFromSavedPassword("a.test"), std::nullopt);  // a password alone
  EXPECT_EQ(store()->retrieveIDCandidateFromSavedPassword("c.test"), "bob");
  EXPECT_EQ(store()->retrieveIDCandidateFromSavedPassword("none.test"), std::nullopt);
}

TEST_F(PagePasswordStoreTest, DeletingASiteTakesEntryOptionAndKeychainItem) {
  store()->updatePassword("pw", form({{"user", "alice"}, {"pw", "1"}}).get(), "a.test");
  store()->setSaveOption("a.test", 3);
  store()->setSaveOption("never.test", 2);
  store()->updatePassword("pw", form({{"user", "bob"}, {"pw", "2"}}).get(), "b.test");

  // A site without an entry keeps its option.
  store()->deleteByURL("never.test");
  EXPECT_EQ(store()->getSaveOption("never.test"), 2);

  // The keychain cannot delete: the entry stays.
  keychainStore->failSavesWith(kit::kKeychainIOError);
  store()->deleteByURL("a.test");
  EXPECT_EQ(store()->count(), 2u);
  EXPECT_EQ(store()->getSaveOption("a.test"), 3);
  keychainStore->failSavesWith(kit::kKeychainSuccess);

  store()->deleteByURL("a.test");
  EXPECT_EQ(store()->count(), 1u);
  EXPECT_EQ(store()->getSaveOption("a.test"), 0);
  EXPECT_EQ(keychainPassword("a.test"), "(none)");
  EXPECT_EQ(storedField("a.test", "user"), std::nullopt);
  kit::Ref<kit::Dictionary> options = defaults().dictionaryForKey("passwords_status");
  EXPECT_FALSE(options->objectForKey("a.test"));

  // An item already gone from the keychain counts as deleted.
  keychain().remove(kit::KeychainQuery{std::string("veskweb"), std::string("b.test"), {}, 1});
  store()->deleteByURL("b.test");
  EXPECT_EQ(store()->count(), 0u);
}

TEST_F(PagePasswordStoreTest, DeleteAllEmptiesBothTablesAndTheKeychainItems) {
  for (const char* site : {"a.test", "b.test", "c.test"}) {
    store()->updatePassword("pw", form({{"user", site}, {"pw", site}}).get(), site);
    store()->setSaveOption(site, 3);
  }
  store()->setSaveOption("never.test", 2);
  ASSERT_TRUE(keychain().add(kit::KeychainItem{"SHARE_AUTH_X", "a.test", {}, std::nullopt}) == kit::kKeychainSuccess);
  store()->deleteAllPasswords();
  EXPECT_EQ(store()->count(), 0u);
  EXPECT_EQ(defaults().dictionaryForKey("passwords")->count(), 0u);
  kit::Ref<kit::Dictionary> options = defaults().dictionaryForKey("passwords_status");
  ASSERT_EQ(options->count(), 1u);  // sites without an entry keep their option
  EXPECT_EQ(store()->getSaveOption("never.test"), 2);
  ASSERT_EQ(keychain().items().size(), 1u);  // other services' items stay
  EXPECT_EQ(keychain().items()[0].service, "SHARE_AUTH_X");
}

TEST_F(PagePasswordStoreTest, TheOfferSettingIsReadOnSettingsChanges) {
  EXPECT_TRUE(store()->opt_save_password());
  defaults().setBool(false, "opt_save_password");
  EXPECT_TRUE(store()->opt_save_password());  // not before it is told
  kit::NotificationCenter::defaultCenter().postNotification(tolva::kAppSettingChanged);
  EXPECT_FALSE(store()->opt_save_password());
  // A missing key leaves the flag as it is.
  defaults().removeObjectForKey("opt_save_password");
  store()->_settingsChanged();
  EXPECT_FALSE(store()->opt_save_password());
  defaults().setBool(true, "opt_save_password");
  store()->_settingsChanged();
  EXPECT_TRUE(store()->opt_save_password());
}

TEST_F(PagePasswordStoreTest, TheTablesLoadOnceUnderConcurrentFirstUse) {
  std::vector<std::thread> threads;
  std::vector<kit::MutableDictionary*> seen(4);
  for (int i = 0; i < 4; ++i) threads.emplace_back([&, i] { seen[i] = store()->db(); });
  for (auto& t : threads) t.join();
  for (auto* t : seen) EXPECT_EQ(t, seen[0]);
}

}  // namespace
