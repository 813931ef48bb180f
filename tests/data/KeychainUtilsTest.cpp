// The keychain wrapper: missing arguments, an item without data, storing the
// same or a different password, and failures of the keychain passed back.

#include "PasswordTestSupport.h"
#include "data/KeychainUtils.h"

using tolva::KeychainUtils;

namespace {

class KeychainUtilsTest : public datatest::PasswordTest {};

TEST_F(KeychainUtilsTest, MissingArgumentsAreRefusedWithMinus2000) {
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(KeychainUtils::getPasswordForUsername(std::nullopt, std::string("veskweb"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), "KeychainUtilsErrorDomain");
  EXPECT_EQ(error->code(), -2000);
  error = nullptr;
  EXPECT_FALSE(KeychainUtils::getPasswordForUsername(std::string("a"), std::nullopt, &error));
  EXPECT_EQ(error->code(), -2000);
  for (int missing = 0; missing < 3; ++missing) {
    error = nullptr;
    std::optional<std::string> a = "a", p = "p", s = "veskweb";
    (missing == 0 ? a : missing == 1 ? p : s) = std::nullopt;
    EXPECT_FALSE(KeychainUtils::storeUsername(a, p, s, true, &error)) << missing;
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), -2000);
  }
  error = nullptr;
  EXPECT_FALSE(KeychainUtils::deleteItemForUsername(std::nullopt, std::string("veskweb"), &error));
  EXPECT_EQ(error->code(), -2000);
  EXPECT_TRUE(keychain().items().empty());
  // No error asked for: the answer alone.
  EXPECT_FALSE(KeychainUtils::storeUsername(std::nullopt, std::string("p"), std::string("s"), true));
}

TEST_F(KeychainUtilsTest, AMissingItemIsNoErrorAndAStoredOneReadsBack) {
  kit::Ref<kit::Error> error = kit::Error::errorWithDomain("stale", 1);
  EXPECT_FALSE(KeychainUtils::getPasswordForUsername(std::string("site"), std::string("veskweb"), &error));
  EXPECT_FALSE(error);

  ASSERT_TRUE(KeychainUtils::storeUsername(std::string("site"), std::string("p\xC3\xA4ss"), std::string("veskweb"),
                                           true, &error));
  EXPECT_FALSE(error);
  EXPECT_EQ(KeychainUtils::getPasswordForUsername(std::string("site"), std::string("veskweb"), &error),
            "p\xC3\xA4ss");
  ASSERT_EQ(keychain().items().size(), 1u);
  const kit::KeychainItem item = keychain().items()[0];
  EXPECT_EQ(item.service, "veskweb");
  EXPECT_EQ(item.account, "site");
  EXPECT_EQ(item.label, "veskweb");
  // Another service is another item.
  EXPECT_FALSE(KeychainUtils::getPasswordForUsername(std::string("site"), std::string("other")));
}

TEST_F(KeychainUtilsTest, StoringTheSamePasswordWritesNothingADifferentOneReplacesIt) {
  ASSERT_TRUE(KeychainUtils::storeUsername(std::string("a"), std::string("one"), std::string("s"), true));
  // Every write of the store would fail now: an unchanged password must not write.
  keychainStore->failSavesWith(kit::kKeychainIOError);
  EXPECT_TRUE(KeychainUtils::storeUsername(std::string("a"), std::string("one"), std::string("s"), true));
  // With updating off, a different password leaves the kept one.
  EXPECT_TRUE(KeychainUtils::storeUsername(std::string("a"), std::string("two"), std::string("s"), false));
  EXPECT_EQ(keychainPasswordOf("a", "s"), "one");
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(KeychainUtils::storeUsername(std::string("a"), std::string("two"), std::string("s"), true, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kit::kKeychainIOError);
  EXPECT_EQ(keychainPasswordOf("a", "s"), "one");

  keychainStore->failSavesWith(kit::kKeychainSuccess);
  EXPECT_TRUE(KeychainUtils::storeUsername(std::string("a"), std::string("two"), std::string("s"), true));
  EXPECT_EQ(keychainPasswordOf("a", "s"), "two");
  EXPECT_EQ(keychain().items().size(), 1u);
}

TEST_F(KeychainUtilsTest, AnItemWithoutDataReadsAsMinus1999AndMakesWayForANewPassword) {
  ASSERT_EQ(keychain().add(kit::KeychainItem{"veskweb", "bare", "veskweb", std::nullopt}), kit::kKeychainSuccess);
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(KeychainUtils::getPasswordForUsername(std::string("bare"), std::string("veskweb"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1999);

  // Deleting it first fails: nothing is stored and the failure comes back.
  keychainStore->failSavesWith(kit::kKeychainIOError);
  EXPECT_FALSE(KeychainUtils::storeUsername(std::string("bare"), std::string("pw"), std::string("veskweb"), true,
                                            &error));
  EXPECT_EQ(error->code(), kit::kKeychainIOError);
  keychainStore->failSavesWith(kit::kKeychainSuccess);

  EXPECT_TRUE(KeychainUtils::storeUsername(std::string("bare"), std::string("pw"), std::string("veskweb"), false,
                                           &error));
  EXPECT_FALSE(error);
  EXPECT_EQ(KeychainUtils::getPasswordForUsername(std::string("bare"), std::string("veskweb")), "pw");
  EXPECT_EQ(keychain().items().size(), 1u);
}

TEST_F(KeychainUtilsTest, DeletingPassesTheKeychainsStatusBack) {
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(KeychainUtils::deleteItemForUsername(std::string("nobody"), std::string("s"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kit::kKeychainItemNotFound);
  ASSERT_TRUE(KeychainUtils::storeUsername(std::string("a"), std::string("p"), std::string("s"), true));
  ASSERT_TRUE(KeychainUtils::storeUsername(std::string("b"), std::string("q"), std::string("s"), true));
  EXPECT_TRUE(KeychainUtils::deleteItemForUsername(std::string("a"), std::string("s"), &error));
  EXPECT_FALSE(error);
  ASSERT_EQ(keychain().items().size(), 1u);
  EXPECT_EQ(keychain().items()[0].account, "b");
}

}  // namespace
