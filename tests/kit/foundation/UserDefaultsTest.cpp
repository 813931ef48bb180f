#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kit/foundation/Array.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/String.h"
#include "kit/foundation/UserDefaults.h"
#include "support/TempHome.h"

using namespace kit;

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

ino_t inodeOf(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::vector<std::string> corruptCopies(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name).find(".corrupt-") != std::string::npos) names.push_back(dir + "/" + e->d_name);
    closedir(d);
  }
  return names;
}

template <class T>
Ref<T> as(Ref<Object> o) {
  return Ref<T>(cast<T>(o));
}

class UserDefaultsTest : public ::testing::Test {
 protected:
  tolvatest::TempHome home;
  std::string path = home.path() + "/prefs.plist";

  Ref<UserDefaults> fresh() { return make<UserDefaults>(path); }
  Ref<Dictionary> onDisk() { return as<Dictionary>(PropertyList::readFromFile(path)); }
};

}  // namespace

TEST_F(UserDefaultsTest, SavesTypedValuesAndReadsThemBack) {
  auto d = fresh();
  EXPECT_FALSE(d->exists("flag"));
  d->setBool(true, "flag");
  d->setInt(-3, "int");
  d->setInteger(int64_t(1) << 40, "big");
  d->setFloat(0.5f, "float");
  d->setDouble(2.25, "double");
  d->setString("Grüße", "string");
  d->setArray(Ref<Array>(new Array{str("x"), num(1)}).get(), "array");
  d->setDictionary(Ref<Dictionary>(new Dictionary{{"k", str("v")}}).get(), "dict");
  d->setData(Data::dataWithString(std::string("\0\1\2", 3)).get(), "data");
  d->setDate(Date::dateWithTimeIntervalSinceReferenceDate(1000).get(), "date");
  ASSERT_TRUE(d->synchronize());
  struct stat st{};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // a passcode lives in here

  auto e = fresh();
  EXPECT_TRUE(e->exists("flag"));
  EXPECT_EQ(e->objectForKey("flag").get(), Number::yes());
  EXPECT_EQ(e->integerForKey("int"), -3);
  EXPECT_EQ(e->integerForKey("big"), long(1) << 40);
  EXPECT_EQ(e->floatForKey("float"), 0.5f);
  EXPECT_EQ(e->doubleForKey("double"), 2.25);
  EXPECT_EQ(e->stringForKey("string"), "Grüße");
  EXPECT_EQ(e->arrayForKey("array")->count(), 2u);
  EXPECT_EQ(e->dictionaryForKey("dict")->get<String>("k")->str(), "v");
  EXPECT_EQ(e->dataForKey("data")->view(), std::string_view("\0\1\2", 3));
  EXPECT_EQ(as<Date>(e->objectForKey("date"))->timeIntervalSinceReferenceDate(), 1000);

  e->removeObjectForKey("flag");
  e->setObject(nullptr, "int");
  EXPECT_FALSE(e->exists("flag"));
  EXPECT_FALSE(e->exists("int"));
  ASSERT_TRUE(e->synchronize());
  EXPECT_FALSE(onDisk()->objectForKey("flag"));
  EXPECT_EQ(onDisk()->count(), 8u);
}

TEST_F(UserDefaultsTest, SynchronizeWritesOnlyWhenSomethingChanged) {
  auto d = fresh();
  EXPECT_TRUE(d->synchronize());
  EXPECT_EQ(inodeOf(path), 0u);  // nothing to save, no file made

  d->setFloat(0.25f, "slider");
  ASSERT_TRUE(d->synchronize());
  ino_t first = inodeOf(path);
  ASSERT_NE(first, 0u);
  EXPECT_TRUE(d->synchronize());
  d->setFloat(0.25f, "slider");  // same value again: not a change
  EXPECT_TRUE(d->synchronize());
  EXPECT_EQ(inodeOf(path), first);

  d->setDouble(0.25, "slider");  // same number, other type: a change
  EXPECT_TRUE(d->synchronize());
  EXPECT_NE(inodeOf(path), first);
}

TEST_F(UserDefaultsTest, AutosaveWritesOnceAfterTheDelayOnTheMainLoop) {
  Clock::setVirtual(700000000.0);
  RunLoop::main().drain();
  auto d = fresh();
  d->setAutosaveDelay(1.0);
  d->setInteger(1, "tab0");
  RunLoop::main().advance(0.5);
  d->setInteger(2, "tab1");  // rides along with the first change's save
  EXPECT_EQ(inodeOf(path), 0u);
  RunLoop::main().advance(0.6);
  d->waitForAutosave();  // written by a thread of its own
  ino_t saved = inodeOf(path);
  ASSERT_NE(saved, 0u);
  EXPECT_EQ(as<Number>(onDisk()->objectForKey("tab1"))->intValue(), 2);
  RunLoop::main().advance(5.0);
  d->waitForAutosave();
  EXPECT_EQ(inodeOf(path), saved);  // nothing new, no second write
  d->setInteger(3, "tab1");
  RunLoop::main().advance(1.0);
  d->waitForAutosave();
  EXPECT_EQ(as<Number>(onDisk()->objectForKey("tab1"))->intValue(), 3);
  Clock::setReal();
}

TEST_F(UserDefaultsTest, TypedReadersCoerce) {
  auto d = fresh();
  d->setString("YES", "yes");
  d->setString("true", "true");
  d->setString("1", "one");
  d->setString("NO", "no");
  d->setString("  42abc", "num text");
  d->setString("3.75", "real text");
  d->setDouble(3.75, "real");
  d->setBool(true, "bool");
  d->setArray(Ref<Array>(new Array{num(1)}).get(), "array");
  d->setDictionary(Ref<Dictionary>(new Dictionary{{"a", num(1)}}).get(), "dict");
  d->setData(Data::dataWithString("1").get(), "data");
  d->setDate(Date::dateWithTimeIntervalSinceReferenceDate(5).get(), "date");

  EXPECT_TRUE(d->boolForKey("yes"));
  EXPECT_TRUE(d->boolForKey("true"));
  EXPECT_TRUE(d->boolForKey("one"));
  EXPECT_FALSE(d->boolForKey("no"));
  EXPECT_FALSE(d->boolForKey("missing"));
  EXPECT_EQ(d->integerForKey("num text"), 42);
  EXPECT_EQ(d->integerForKey("real text"), 3);
  EXPECT_EQ(d->doubleForKey("real text"), 3.75);
  EXPECT_EQ(d->integerForKey("real"), 3);
  EXPECT_EQ(d->integerForKey("bool"), 1);
  EXPECT_EQ(d->stringForKey("real"), "3.75");
  EXPECT_EQ(d->stringForKey("bool"), "1");
  for (const char* key : {"array", "dict", "data", "date"}) {
    EXPECT_FALSE(d->boolForKey(key)) << key;
    EXPECT_EQ(d->integerForKey(key), 0) << key;
    EXPECT_EQ(d->doubleForKey(key), 0) << key;
    EXPECT_EQ(d->stringForKey(key), "") << key;
  }
  EXPECT_FALSE(d->arrayForKey("dict"));
  EXPECT_FALSE(d->dictionaryForKey("array"));
  EXPECT_FALSE(d->dataForKey("yes"));
}

TEST_F(UserDefaultsTest, StoresImmutableCopiesAndRefusesWhatCannotBeSaved) {
  auto d = fresh();
  Ref<MutableArray> list = MutableArray::array();
  list->addObject(MutableString::string("a"));
  d->setObject(list.get(), "list");
  list->addObject(str("b"));
  static_cast<MutableString*>(list->objectAtIndex(0))->appendString("!");
  Ref<Array> stored = d->arrayForKey("list");
  ASSERT_TRUE(stored);
  EXPECT_FALSE(stored->isMutable());
  EXPECT_EQ(stored->count(), 1u);
  EXPECT_EQ(stored->get<String>(0)->str(), "a");
  EXPECT_EQ(d->arrayForKey("list").get(), stored.get());  // returned as stored

  testing::internal::CaptureStderr();
  EXPECT_FALSE(d->setObject(Ref<Array>(new Array{Null::null()}).get(), "list"));
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("\"list\""), std::string::npos) << said;
  EXPECT_EQ(d->arrayForKey("list").get(), stored.get());  // old value kept
  d->setBool(true, "other");

  // Saving still writes everything else, but does not claim success while
  // the value last set for "list" is missing from the file.
  Ref<Error> err;
  EXPECT_FALSE(d->synchronize(&err));
  ASSERT_TRUE(err);
  EXPECT_NE(err->localizedDescription().find("\"list\""), std::string::npos) << err->localizedDescription();
  ASSERT_TRUE(onDisk());
  EXPECT_TRUE(onDisk()->objectForKey("other"));
  EXPECT_FALSE(d->synchronize());  // nothing new to write, still left out
  d->setObject(stored.get(), "list");
  EXPECT_TRUE(d->synchronize());
}

TEST_F(UserDefaultsTest, TextXmlCannotHoldIsReplacedNotTheWholeValueRefused) {
  auto title = [](const char* t) { return Ref<Dictionary>(new Dictionary{{"title", str(t)}, {"url", str("u")}}); };
  Ref<Array> tree(new Array{title("ok"), title("a\x01" "b"), title("\x1b[2Jc\xEF\xBF\xBF"), title("d\xC3(")});
  auto d = fresh();
  testing::internal::CaptureStderr();
  EXPECT_TRUE(d->setObject(tree.get(), "bookmark"));
  EXPECT_TRUE(d->setObject(tree.get(), "bookmark"));
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("root[1].title"), std::string::npos) << said;
  EXPECT_EQ(said.find("kit:"), said.rfind("kit:")) << said;  // said once
  EXPECT_TRUE(d->synchronize());

  Ref<Array> back = as<Array>(make<UserDefaults>(path)->objectForKey("bookmark"));
  ASSERT_TRUE(back);
  ASSERT_EQ(back->count(), 4u);
  auto titleAt = [&](size_t i) { return back->get<Dictionary>(i)->get<String>("title")->str(); };
  EXPECT_EQ(titleAt(0), "ok");
  EXPECT_EQ(titleAt(1), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(titleAt(2), "\xEF\xBF\xBD[2Jc\xEF\xBF\xBD");
  EXPECT_EQ(titleAt(3), "d\xEF\xBF\xBD(");

  // Two keys that become one once repaired: one entry is lost, and that is said.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(d->setObject(Ref<Dictionary>(new Dictionary{{"k\x01", str("1")}, {"k\x02", str("2")}}).get(), "twins"));
  testing::internal::GetCapturedStderr();
  ASSERT_TRUE(d->dictionaryForKey("twins"));
  EXPECT_EQ(d->dictionaryForKey("twins")->count(), 1u);
  EXPECT_FALSE(d->synchronize());
}

TEST_F(UserDefaultsTest, RegistrationDomainAnswersButIsNeverSavedNorCountedAsStored) {
  auto d = fresh();
  d->registerDefaults(Ref<Dictionary>(new Dictionary{{"UserAgent", str("UA/1")}, {"opt", boolean(true)}}).get());
  EXPECT_EQ(d->stringForKey("UserAgent"), "UA/1");
  EXPECT_TRUE(d->boolForKey("opt"));
  EXPECT_FALSE(d->exists("UserAgent"));
  EXPECT_EQ(d->dictionaryRepresentation()->count(), 2u);
  EXPECT_EQ(d->persistentDomain()->count(), 0u);

  d->setBool(false, "opt");  // the persistent domain wins
  EXPECT_FALSE(d->boolForKey("opt"));
  EXPECT_TRUE(d->exists("opt"));
  ASSERT_TRUE(d->reload());
  EXPECT_EQ(d->stringForKey("UserAgent"), "UA/1");  // survives the reload
  EXPECT_FALSE(d->boolForKey("opt"));
  EXPECT_FALSE(onDisk()->objectForKey("UserAgent"));
  EXPECT_TRUE(onDisk()->objectForKey("opt"));
}

TEST_F(UserDefaultsTest, ReloadSavesPendingChangesThenReadsTheFileAgain) {
  auto d = fresh();
  d->setInt(1, "a");  // not synchronized
  ASSERT_TRUE(d->reload());
  EXPECT_EQ(d->integerForKey("a"), 1);
  EXPECT_EQ(onDisk()->get<Number>("a")->intValue(), 1);

  // Another writer changes the file: memory stays authoritative until a reload.
  ASSERT_FALSE(PropertyList::writeToFile(Ref<Dictionary>(new Dictionary{{"a", num(1)}, {"b", num(2)}}).get(), path));
  EXPECT_FALSE(d->exists("b"));
  ASSERT_TRUE(d->reload());
  EXPECT_EQ(d->integerForKey("b"), 2);
}

TEST_F(UserDefaultsTest, PostsDidChangeOnRealChangesOnly) {
  auto d = fresh();
  int posts = 0;
  auto token = NotificationCenter::defaultCenter().addObserver(
      UserDefaults::kDidChangeNotification, d.get(), [&](const Notification& n) {
        EXPECT_EQ(n.object(), d.get());
        EXPECT_TRUE(d->exists("k") || posts > 0);  // observers see the new state
        ++posts;
      });
  d->setString("v", "k");
  EXPECT_EQ(posts, 1);
  d->setString("v", "k");
  EXPECT_EQ(posts, 1);
  d->setString("w", "k");
  EXPECT_EQ(posts, 2);
  d->removeObjectForKey("k");
  d->removeObjectForKey("k");
  EXPECT_EQ(posts, 3);
  d->registerDefaults(Ref<Dictionary>(new Dictionary{{"r", num(1)}}).get());
  EXPECT_EQ(posts, 4);
  d->synchronize();
  d->reload();
  EXPECT_EQ(posts, 4);
}

TEST_F(UserDefaultsTest, DamagedFileIsMovedAsideOnceAndNeverOverwritten) {
  Ref<Data> arrayRoot = PropertyList::write(Ref<Array>(new Array{str("x")}).get());
  const std::vector<std::string> damaged = {"<?xml version=\"1.0\"?><plist><dict><key>a</key>",
                                            std::string("bplist00\xd0\x08\0\0", 12), arrayRoot->toString()};
  for (const std::string& bytes : damaged) {
    for (auto& old : corruptCopies(home.path())) ::unlink(old.c_str());
    { std::ofstream(path, std::ios::binary) << bytes; }

    testing::internal::CaptureStderr();
    auto d = fresh();
    EXPECT_FALSE(d->objectForKey("a"));
    EXPECT_FALSE(d->exists("a"));
    d->setString("fresh", "a");
    std::string said = testing::internal::GetCapturedStderr();

    auto copies = corruptCopies(home.path());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(slurp(copies[0]), bytes);
    EXPECT_NE(said.find(copies[0]), std::string::npos) << said;
    EXPECT_EQ(said.find("damaged"), said.rfind("damaged")) << said;  // said once

    ASSERT_TRUE(d->synchronize());
    EXPECT_EQ(onDisk()->get<String>("a")->str(), "fresh");
    EXPECT_EQ(slurp(copies[0]), bytes);
  }
}

TEST_F(UserDefaultsTest, AnUnreadableFileIsLeftAloneAndNotWrittenOver) {
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);  // reads fail, renames over it would too
  testing::internal::CaptureStderr();
  auto d = fresh();
  d->setBool(true, "k");
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(d->boolForKey("k"));  // the program goes on in memory
  Ref<Error> err;
  EXPECT_FALSE(d->synchronize(&err));
  ASSERT_TRUE(err);
  EXPECT_FALSE(d->reload());  // would lose the change
  EXPECT_TRUE(d->boolForKey("k"));
  EXPECT_TRUE(corruptCopies(home.path()).empty());
  struct stat st{};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  testing::internal::CaptureStderr();
  d = nullptr;  // the unsaved change is reported, not silently dropped
  EXPECT_NE(testing::internal::GetCapturedStderr().find("could not be saved"), std::string::npos);
}

// The next start refuses a file above the limit and starts empty: the value
// that would make the file that large is refused instead, the rest kept.
TEST_F(UserDefaultsTest, AValueThatWouldMakeTheFileTooLargeToReadBackIsRefused) {
  constexpr uint64_t kLimit = 32 << 10;
  auto d = fresh();
  d->setFileSizeLimit(kLimit);
  d->setString("kept", "a");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(d->setString(std::string(40000, 'x'), "big"));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("\"big\" was refused"), std::string::npos);
  EXPECT_FALSE(d->exists("big"));
  Ref<Error> error;
  EXPECT_FALSE(d->synchronize(&error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), UserDefaults::kValueLeftOutError);
  EXPECT_EQ(onDisk()->get<String>("a")->str(), "kept");

  EXPECT_TRUE(d->setString(std::string(20000, 'y'), "big"));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(d->setString(std::string(20000, 'z'), "other"));  // the two together are too much
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(d->setString(std::string(25000, 'y'), "big"));     // a replaced value counts once
  d->removeObjectForKey("big");
  EXPECT_TRUE(d->setString(std::string(20000, 'z'), "other"));
  ASSERT_TRUE(d->synchronize());
  EXPECT_LE(slurp(path).size(), kLimit);

  // What a load finds counts too.
  auto again = fresh();
  again->setFileSizeLimit(kLimit);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(again->setString(std::string(20000, 'q'), "third"));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(again->stringForKey("other").size(), 20000u);
}

TEST_F(UserDefaultsTest, OnlyARegularFileIsReadAnythingElseIsSetAside) {
  ::alarm(60);  // a FIFO that is opened for reading waits for a writer forever
  // A FIFO, a link to an endless device and a file beyond the bound (sparse)
  // are damaged files: set aside, and the store starts empty and saves a real file.
  auto setAside = [&](const std::string& why) {
    SCOPED_TRACE(why);
    testing::internal::CaptureStderr();
    auto d = fresh();
    EXPECT_FALSE(d->exists("a"));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(why), std::string::npos) << said;
    auto copies = corruptCopies(home.path());
    ASSERT_EQ(copies.size(), 1u);
    d->setString("fresh", "a");
    ASSERT_TRUE(d->synchronize());
    EXPECT_EQ(onDisk()->get<String>("a")->str(), "fresh");
    ::unlink(copies[0].c_str());
    ::unlink(path.c_str());
  };
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  setAside("not a regular file");
  ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0);
  setAside("not a regular file");
  // A Unix socket cannot even be opened, nor can a link that loops.
  ASSERT_TRUE(tolvatest::makeUnixSocket(path));
  setAside("not a regular file");
  ASSERT_EQ(::symlink(path.c_str(), path.c_str()), 0);
  setAside("loops");
  { std::ofstream create(path); }
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(PropertyList::kMaxFileBytes + 1)), 0);
  setAside("larger than");
  ::unlink(path.c_str());
  // A link to a regular file is read through.
  const std::string real = home.path() + "/real.plist";
  ASSERT_FALSE(PropertyList::writeToFile(Ref<Dictionary>(new Dictionary{{"a", str("linked")}}).get(), real));
  ASSERT_EQ(::symlink(real.c_str(), path.c_str()), 0);
  EXPECT_EQ(fresh()->stringForKey("a"), "linked");
  EXPECT_TRUE(corruptCopies(home.path()).empty());
  ::alarm(0);
}

TEST_F(UserDefaultsTest, TemporaryFilesOfInterruptedSavesAreRemovedOnLoad) {
  auto touch = [&](const std::string& name, time_t age) {
    const std::string p = home.path() + "/" + name;
    { std::ofstream(p) << "half a save"; }
    struct timespec times[2] = {{::time(nullptr) - age, 0}, {::time(nullptr) - age, 0}};
    ::utimensat(AT_FDCWD, p.c_str(), times, 0);
  };
  const std::string me = std::to_string(::getpid());
  touch(".prefs.plist.tmp-2147483646-0-0badf00d", 0);     // its writer is gone
  touch(".prefs.plist.tmp-" + me + "-7-00c0ffee", 7200);  // a pid reused long after
  touch(".prefs.plist.tmp-" + me + "-8-0000beef", 0);     // a save under way
  touch(".other.plist.tmp-2147483646-0-0badf00d", 0);     // another file's
  fresh()->objectForKey("a");
  std::vector<std::string> left;
  if (DIR* dir = opendir(home.path().c_str())) {
    while (dirent* e = readdir(dir))
      if (e->d_name[0] == '.' && std::strlen(e->d_name) > 2) left.push_back(e->d_name);
    closedir(dir);
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".other.plist.tmp-2147483646-0-0badf00d",
                                            ".prefs.plist.tmp-" + me + "-8-0000beef"}));
}

TEST_F(UserDefaultsTest, StandardDefaultsUseThePreferencesFileAndKeepRegistrationsOverReset) {
  UserDefaults::discardStandardUserDefaultsForTesting();
  UserDefaults* s = &UserDefaults::standardUserDefaults();
  EXPECT_EQ(s, &UserDefaults::standardUserDefaults());
  s->registerDefaults(Ref<Dictionary>(new Dictionary{{"UserAgent", str("UA/2")}}).get());
  s->setString("value", "key");
  EXPECT_EQ(s->path(), Paths::preferencesFile());

  UserDefaults::resetStandardUserDefaults();  // saves first
  auto saved = as<Dictionary>(PropertyList::readFromFile(Paths::preferencesFile()));
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->get<String>("key")->str(), "value");
  EXPECT_FALSE(saved->objectForKey("UserAgent"));
  EXPECT_EQ(s->stringForKey("UserAgent"), "UA/2");
  EXPECT_EQ(s->stringForKey("key"), "value");
  UserDefaults::discardStandardUserDefaultsForTesting();
}

TEST_F(UserDefaultsTest, ConcurrentWritersReadersAndSaves) {
  auto d = fresh();
  constexpr int kThreads = 4, kKeys = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kKeys; ++i) {
        std::string key = "t" + std::to_string(t) + "-" + std::to_string(i);
        d->setInt(i, key);
        EXPECT_EQ(d->integerForKey(key), i);
        d->stringForKey("t0-0");
        if (i % 25 == 0) {
          EXPECT_TRUE(d->synchronize());
        }
      }
    });
  for (auto& th : threads) th.join();
  ASSERT_TRUE(d->synchronize());
  EXPECT_EQ(onDisk()->count(), size_t(kThreads * kKeys));
  EXPECT_EQ(fresh()->integerForKey("t3-149"), 149);
}

TEST(UserDefaultsStandard, ResetAfterTheDataFolderWentAwayStartsFromTheNewFile) {
  const std::string previousHome = std::getenv("TOLVA_HOME") ? std::getenv("TOLVA_HOME") : "";
  std::string first = testing::TempDir() + "tolva-vanishing-XXXXXX";
  ASSERT_TRUE(::mkdtemp(first.data()));
  ::setenv("TOLVA_HOME", first.c_str(), 1);
  Paths::reset();
  UserDefaults::resetStandardUserDefaults();
  UserDefaults::standardUserDefaults().setString("old", "leftover");
  tolvatest::removeTree(first);  // the folder goes away with the change unsaved
  // A new home, without the fixture's discard, so the reset meets the old change.
  std::string second = testing::TempDir() + "tolva-second-XXXXXX";
  ASSERT_TRUE(::mkdtemp(second.data()));
  ::setenv("TOLVA_HOME", second.c_str(), 1);
  Paths::reset();
  testing::internal::CaptureStderr();
  UserDefaults::resetStandardUserDefaults();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("dropped"), std::string::npos);
  EXPECT_FALSE(UserDefaults::standardUserDefaults().exists("leftover"));
  EXPECT_EQ(UserDefaults::standardUserDefaults().path(), Paths::preferencesFile());
  UserDefaults::discardStandardUserDefaultsForTesting();
  tolvatest::removeTree(second);
  ::setenv("TOLVA_HOME", previousHome.c_str(), 1);
  Paths::reset();
}
