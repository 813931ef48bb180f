#include <filesystem>

#include "SettingsTest.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Exception.h"
#include "settings/PrefAbstractSettingsStore.h"
#include "settings/PrefSettingsStoreFile.h"
#include "settings/PrefSettingsStoreUserDefaults.h"

using namespace settingstest;
using namespace tolva;

namespace {

class PrefSettingsStoreTest : public SettingsTest {};

// The smallest store: the two primitives over a dictionary.
class MemoryStore : public PrefAbstractSettingsStore {
 public:
  void setObject(kit::Ref<kit::Object> value, const std::string& key) override { dict->setObject(value, key); }
  kit::Ref<kit::Object> objectForKey(const std::string& key) override { return dict->objectForKey(key); }
  kit::Ref<kit::MutableDictionary> dict = kit::MutableDictionary::dictionary();
};

TEST_F(PrefSettingsStoreTest, TheAbstractStoreRaisesForItsPrimitives) {
  kit::Ref<PrefAbstractSettingsStore> store(new PrefAbstractSettingsStore());
  try {
    store->objectForKey("k");
    FAIL() << "no exception";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), "Unimplemented");
    EXPECT_EQ(e.reason(), "objectForKey: must be implemented in subclasses of PrefAbstractSettingsStore");
  }
  try {
    store->setBool(true, "k");
    FAIL() << "no exception";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.reason(), "setObject:forKey: must be implemented in subclasses of PrefAbstractSettingsStore");
  }
  EXPECT_FALSE(store->synchronize());
}

TEST_F(PrefSettingsStoreTest, TypedValuesGoThroughNumbers) {
  kit::Ref<MemoryStore> store(new MemoryStore());
  store->setBool(true, "b");
  auto* b = dynamic_cast<kit::Number*>(store->objectForKey("b").get());
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(b->isBool());
  store->setFloat(0.25f, "f");
  store->setInteger(7, "i");
  store->setDouble(2.5, "d");
  EXPECT_EQ(store->floatForKey("f"), 0.25f);
  EXPECT_EQ(store->integerForKey("i"), 7);
  EXPECT_EQ(store->doubleForKey("d"), 2.5);
  EXPECT_TRUE(store->boolForKey("b"));
  EXPECT_FALSE(store->boolForKey("missing"));
  EXPECT_EQ(store->integerForKey("missing"), 0);
  store->setObject(kit::str("YES"), "s");
  EXPECT_TRUE(store->boolForKey("s"));
  // Values a number cannot come from read as false and 0.
  store->setObject(kit::Array::array(), "a");
  store->setObject(kit::Data::dataWithBytes("xy", 2), "data");
  EXPECT_FALSE(store->boolForKey("a"));
  EXPECT_EQ(store->floatForKey("data"), 0.0f);
  EXPECT_EQ(store->integerForKey("a"), 0);
}

TEST_F(PrefSettingsStoreTest, FileStoreStartsEmptyAndWritesOnSynchronize) {
  std::string path = home_.path() + "/prefs/settings.plist";
  std::filesystem::create_directories(home_.path() + "/prefs");
  {
    kit::Ref<PrefSettingsStoreFile> store(new PrefSettingsStoreFile(path));
    EXPECT_EQ(store->objectForKey("anything"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(path));
    store->setInteger(3, "count");
    store->setObject(kit::str("x"), "name");
    store->setObject(nullptr, "name");
    EXPECT_TRUE(store->synchronize());
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  kit::Ref<PrefSettingsStoreFile> again(new PrefSettingsStoreFile(path));
  EXPECT_EQ(again->integerForKey("count"), 3);
  EXPECT_EQ(again->objectForKey("name"), nullptr);

  writeText("garbage.plist", "not a property list");
  kit::Ref<PrefSettingsStoreFile> garbage(new PrefSettingsStoreFile(bundle_ + "/garbage.plist"));
  EXPECT_EQ(garbage->objectForKey("count"), nullptr);
  kit::Ref<PrefSettingsStoreFile> nowhere(new PrefSettingsStoreFile(home_.path() + "/no/such/dir/x.plist"));
  nowhere->setBool(true, "b");
  EXPECT_FALSE(nowhere->synchronize()) << "a failed write is reported";
}

TEST_F(PrefSettingsStoreTest, UserDefaultsStoreWritesTheStandardUserDefaults) {
  kit::Ref<PrefSettingsStoreUserDefaults> store(new PrefSettingsStoreUserDefaults());
  store->setBool(true, "opt_x");
  EXPECT_TRUE(defaults().boolForKey("opt_x"));
  store->setFloat(0.5f, "f");
  EXPECT_EQ(defaults().floatForKey("f"), 0.5f);
  store->setObject(kit::str("abc"), "s");
  EXPECT_EQ(defaults().stringForKey("s"), "abc");
  defaults().setObject(kit::Array::array().get(), "arr");
  EXPECT_FALSE(store->boolForKey("arr"));
  EXPECT_EQ(store->floatForKey("arr"), 0.0f);
  EXPECT_TRUE(store->synchronize());
  EXPECT_TRUE(std::filesystem::exists(defaults().path()));
}

}  // namespace
