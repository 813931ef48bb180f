#include "kit/security/Keychain.h"

#include <gtest/gtest.h>

#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/security/MemoryKeychainStore.h"

using namespace kit;

namespace {

using K = Keychain;

Ref<MutableDictionary> query(const char* service, const char* account) {
  auto q = MutableDictionary::dictionary();
  q->setObject(str(K::kClassGenericPassword), K::kClass);
  if (service) q->setObject(str(service), K::kAttrService);
  if (account) q->setObject(str(account), K::kAttrAccount);
  return q;
}

Ref<MutableDictionary> item(const char* service, const char* account, const char* password) {
  auto a = query(service, account);
  a->setObject(str(service), K::kAttrLabel);
  if (password) a->setObject(Data::dataWithString(password), K::kValueData);
  return a;
}

std::string dataText(Object* o) {
  auto* d = cast<Data>(o);
  return d ? d->toString() : "<not data>";
}

class KeychainTest : public ::testing::Test {
 protected:
  std::shared_ptr<MemoryKeychainStore> store = std::make_shared<MemoryKeychainStore>();
  Keychain keychain{store};
};

}  // namespace

TEST_F(KeychainTest, AddThenDuplicateThenCopyData) {
  EXPECT_EQ(keychain.add(item("veskweb", "example.org", "s3cret")), kKeychainSuccess);
  EXPECT_EQ(keychain.add(item("veskweb", "example.org", "other")), kKeychainDuplicateItem);
  // Same account under another service is a different item.
  EXPECT_EQ(keychain.add(item("SHARE_AUTH_X", "example.org", "x")), kKeychainSuccess);

  auto q = query("veskweb", "example.org");
  q->setObject(boolean(true), K::kReturnData);
  Ref<Object> result;
  ASSERT_EQ(keychain.copyMatching(q, &result), kKeychainSuccess);
  EXPECT_EQ(dataText(result), "s3cret");
  EXPECT_EQ(store->items().size(), 2u);
}

TEST_F(KeychainTest, NotFoundOnCopyUpdateDelete) {
  auto q = query("veskweb", "nowhere");
  q->setObject(boolean(true), K::kReturnAttributes);
  Ref<Object> result = str("stale");
  EXPECT_EQ(keychain.copyMatching(q, &result), kKeychainItemNotFound);
  EXPECT_FALSE(result);
  auto changes = Ref<Dictionary>(new Dictionary({{K::kValueData, Data::dataWithString("p")}}));
  EXPECT_EQ(keychain.update(query("veskweb", "nowhere"), changes), kKeychainItemNotFound);
  EXPECT_EQ(keychain.remove(query("veskweb", "nowhere")), kKeychainItemNotFound);
}

TEST_F(KeychainTest, BadParameters) {
  Ref<Object> result;
  EXPECT_EQ(keychain.add(nullptr), kKeychainBadParameter);
  EXPECT_EQ(keychain.copyMatching(nullptr, &result), kKeychainBadParameter);
  EXPECT_EQ(keychain.remove(static_cast<const Dictionary*>(nullptr)), kKeychainBadParameter);

  auto noClass = item("s", "a", "p");
  noClass->removeObjectForKey(K::kClass);
  EXPECT_EQ(keychain.add(noClass), kKeychainBadParameter);

  auto otherClass = item("s", "a", "p");
  otherClass->setObject(str("inet"), K::kClass);
  EXPECT_EQ(keychain.add(otherClass), kKeychainBadParameter);

  auto wrongKind = item("s", "a", nullptr);
  wrongKind->setObject(str("text, not bytes"), K::kValueData);
  EXPECT_EQ(keychain.add(wrongKind), kKeychainBadParameter);

  auto numberAccount = query("s", nullptr);
  numberAccount->setObject(num(7), K::kAttrAccount);
  EXPECT_EQ(keychain.add(numberAccount), kKeychainBadParameter);

  // A misspelt key must not widen a delete to every item.
  ASSERT_EQ(keychain.add(item("s", "a", "p")), kKeychainSuccess);
  auto misspelt = query(nullptr, nullptr);
  misspelt->setObject(str("s"), "servce");
  EXPECT_EQ(keychain.remove(misspelt), kKeychainBadParameter);

  auto badLimit = query("s", nullptr);
  badLimit->setObject(str("some"), K::kMatchLimit);
  EXPECT_EQ(keychain.copyMatching(badLimit, &result), kKeychainBadParameter);
  badLimit->setObject(num(0), K::kMatchLimit);
  EXPECT_EQ(keychain.copyMatching(badLimit, &result), kKeychainBadParameter);

  // Data is not a search attribute; class cannot be changed; an empty change is no change.
  auto dataQuery = query("s", "a");
  dataQuery->setObject(Data::dataWithString("p"), K::kValueData);
  EXPECT_EQ(keychain.copyMatching(dataQuery, &result), kKeychainBadParameter);
  auto classChange = Ref<Dictionary>(new Dictionary({{K::kClass, str(K::kClassGenericPassword)}}));
  EXPECT_EQ(keychain.update(query("s", "a"), classChange), kKeychainBadParameter);
  EXPECT_EQ(keychain.update(query("s", "a"), Dictionary::dictionary()), kKeychainBadParameter);
  EXPECT_EQ(keychain.update(query("s", "a"), nullptr), kKeychainBadParameter);

  EXPECT_EQ(keychain.items().size(), 1u);
}

TEST_F(KeychainTest, CopyOneVersusAllAndFiltering) {
  keychain.add(item("mail", "ann", "1"));
  keychain.add(item("mail", "bob", "2"));
  keychain.add(item("news", "ann", "3"));

  auto all = query(nullptr, nullptr);
  all->setObject(boolean(true), K::kReturnAttributes);
  all->setObject(str(K::kMatchLimitAll), K::kMatchLimit);
  Ref<Object> result;
  ASSERT_EQ(keychain.copyMatching(all, &result), kKeychainSuccess);
  auto* list = cast<Array>(result);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->count(), 3u);
  auto* first = list->get<Dictionary>(0);
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->get<String>(K::kAttrAccount)->isEqualToString("ann"));
  EXPECT_TRUE(first->get<String>(K::kAttrLabel)->isEqualToString("mail"));
  EXPECT_FALSE(first->objectForKey(K::kValueData)) << "data was not asked for";

  auto byService = query("mail", nullptr);
  byService->setObject(boolean(true), K::kReturnAttributes);
  byService->setObject(str(K::kMatchLimitAll), K::kMatchLimit);
  ASSERT_EQ(keychain.copyMatching(byService, &result), kKeychainSuccess);
  EXPECT_EQ(cast<Array>(result)->count(), 2u);

  auto byAccount = query(nullptr, "ann");
  byAccount->setObject(boolean(true), K::kReturnAttributes);
  byAccount->setObject(boolean(true), K::kReturnData);
  ASSERT_EQ(keychain.copyMatching(byAccount, &result), kKeychainSuccess);
  auto* one = cast<Dictionary>(result);
  ASSERT_TRUE(one) << "limit one gives the item itself, not a list";
  EXPECT_TRUE(one->get<String>(K::kAttrService)->isEqualToString("mail"));
  EXPECT_EQ(dataText(one->objectForKey(K::kValueData)), "1");

  auto twoOfThree = query(nullptr, nullptr);
  twoOfThree->setObject(boolean(true), K::kReturnData);
  twoOfThree->setObject(num(2), K::kMatchLimit);
  ASSERT_EQ(keychain.copyMatching(twoOfThree, &result), kKeychainSuccess);
  ASSERT_EQ(cast<Array>(result)->count(), 2u);
  EXPECT_EQ(dataText(cast<Array>(result)->objectAtIndex(1)), "2");

  // Found but nothing asked back: success, no result.
  ASSERT_EQ(keychain.copyMatching(query("news", "ann"), &result), kKeychainSuccess);
  EXPECT_FALSE(result);
}

TEST_F(KeychainTest, ItemWithoutDataIsDistinctFromEmptyData) {
  ASSERT_EQ(keychain.add(item("veskweb", "bare", nullptr)), kKeychainSuccess);
  ASSERT_EQ(keychain.add(item("veskweb", "empty", "")), kKeychainSuccess);

  auto bare = query("veskweb", "bare");
  bare->setObject(boolean(true), K::kReturnData);
  Ref<Object> result = str("stale");
  EXPECT_EQ(keychain.copyMatching(bare, &result), kKeychainSuccess);
  EXPECT_FALSE(result);

  auto empty = query("veskweb", "empty");
  empty->setObject(boolean(true), K::kReturnData);
  ASSERT_EQ(keychain.copyMatching(empty, &result), kKeychainSuccess);
  ASSERT_TRUE(cast<Data>(result));
  EXPECT_EQ(cast<Data>(result)->length(), 0u);

  auto both = query("veskweb", "bare");
  both->setObject(boolean(true), K::kReturnData);
  both->setObject(boolean(true), K::kReturnAttributes);
  ASSERT_EQ(keychain.copyMatching(both, &result), kKeychainSuccess);
  ASSERT_TRUE(cast<Dictionary>(result));
  EXPECT_FALSE(cast<Dictionary>(result)->objectForKey(K::kValueData));

  auto allData = query("veskweb", nullptr);
  allData->setObject(boolean(true), K::kReturnData);
  allData->setObject(str(K::kMatchLimitAll), K::kMatchLimit);
  ASSERT_EQ(keychain.copyMatching(allData, &result), kKeychainSuccess);
  EXPECT_EQ(cast<Array>(result)->count(), 1u);

  // Giving the bare item data later works like any update.
  auto changes = Ref<Dictionary>(new Dictionary({{K::kValueData, Data::dataWithString("late")}}));
  ASSERT_EQ(keychain.update(query("veskweb", "bare"), changes), kKeychainSuccess);
  ASSERT_EQ(keychain.copyMatching(bare, &result), kKeychainSuccess);
  EXPECT_EQ(dataText(result), "late");
}

TEST_F(KeychainTest, UpdateAndDelete) {
  keychain.add(item("mail", "ann", "1"));
  keychain.add(item("mail", "bob", "2"));

  // The query may carry the label; it has to match too.
  auto q = query("mail", "ann");
  q->setObject(str("mail"), K::kAttrLabel);
  auto changes = Ref<Dictionary>(new Dictionary({{K::kValueData, Data::dataWithString("new")}}));
  ASSERT_EQ(keychain.update(q, changes), kKeychainSuccess);
  q->setObject(str("other label"), K::kAttrLabel);
  EXPECT_EQ(keychain.update(q, changes), kKeychainItemNotFound);
  EXPECT_EQ(*keychain.items()[0].data, std::vector<std::uint8_t>({'n', 'e', 'w'}));

  // Renaming onto an existing identity is refused and changes nothing.
  auto rename = Ref<Dictionary>(new Dictionary({{K::kAttrAccount, str("bob")}}));
  EXPECT_EQ(keychain.update(query("mail", "ann"), rename), kKeychainDuplicateItem);
  EXPECT_EQ(keychain.items()[0].account, "ann");

  // Delete takes every match.
  ASSERT_EQ(keychain.remove(query("mail", nullptr)), kKeychainSuccess);
  EXPECT_TRUE(keychain.items().empty());
  EXPECT_TRUE(store->items().empty());
}

TEST_F(KeychainTest, AddCanReturnTheNewItem) {
  auto a = item("s", "a", "p");
  a->setObject(boolean(true), K::kReturnAttributes);
  Ref<Object> result;
  ASSERT_EQ(keychain.add(a, &result), kKeychainSuccess);
  ASSERT_TRUE(cast<Dictionary>(result));
  EXPECT_TRUE(cast<Dictionary>(result)->get<String>(K::kAttrAccount)->isEqualToString("a"));
}

TEST_F(KeychainTest, FailedSaveChangesNothing) {
  ASSERT_EQ(keychain.add(item("s", "a", "p")), kKeychainSuccess);
  store->failSavesWith(kKeychainIOError);
  EXPECT_EQ(keychain.add(item("s", "b", "q")), kKeychainIOError);
  EXPECT_EQ(keychain.remove(query("s", "a")), kKeychainIOError);
  auto changes = Ref<Dictionary>(new Dictionary({{K::kValueData, Data::dataWithString("x")}}));
  EXPECT_EQ(keychain.update(query("s", "a"), changes), kKeychainIOError);
  ASSERT_EQ(keychain.items().size(), 1u);
  EXPECT_EQ(keychain.items()[0].account, "a");
  EXPECT_EQ(*keychain.items()[0].data, std::vector<std::uint8_t>({'p'}));
}

TEST_F(KeychainTest, TypedInterface) {
  EXPECT_EQ(keychain.add(KeychainItem{"svc", "acct", std::nullopt, std::vector<std::uint8_t>{1, 2}}),
            kKeychainSuccess);
  EXPECT_EQ(keychain.add(KeychainItem{"svc", "acct", {}, {}}), kKeychainDuplicateItem);
  std::vector<KeychainItem> found;
  KeychainQuery q;
  q.account = "acct";
  ASSERT_EQ(keychain.copyMatching(q, &found), kKeychainSuccess);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].service, "svc");
  q.limit = 0;
  EXPECT_EQ(keychain.copyMatching(q, &found), kKeychainBadParameter);
  EXPECT_EQ(keychain.update(KeychainQuery{}, KeychainChanges{}), kKeychainBadParameter);
  EXPECT_EQ(keychain.remove(KeychainQuery{}), kKeychainSuccess);
  EXPECT_EQ(keychain.remove(KeychainQuery{}), kKeychainItemNotFound);
}

TEST(KeychainShared, InstalledStoreIsLoaded) {
  auto seeded = std::make_shared<MemoryKeychainStore>(
      std::vector<KeychainItem>{KeychainItem{"veskweb", "host", "veskweb", std::vector<std::uint8_t>{'p'}}});
  Keychain::installSharedStore(seeded);
  EXPECT_EQ(Keychain::shared().store(), seeded);
  ASSERT_EQ(Keychain::shared().items().size(), 1u);
  Keychain::installSharedStore(std::make_shared<MemoryKeychainStore>());
  EXPECT_TRUE(Keychain::shared().items().empty());
}
