#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <limits>
#include <sstream>

#include "kit/foundation/Array.h"
#include "kit/foundation/AtomicFile.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/String.h"
#include "support/TempHome.h"

using namespace kit;

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void spit(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string n = e->d_name; n != "." && n != "..") names.push_back(n);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

Ref<Object> roundTrip(const Object* o, PropertyList::Options opt = PropertyList::Options::Immutable) {
  Ref<Error> err;
  Ref<Data> bytes = PropertyList::write(o, &err);
  EXPECT_TRUE(bytes) << (err ? err->description() : "");
  if (!bytes) return nullptr;
  Ref<Object> back = PropertyList::read(bytes->view(), opt, &err);
  EXPECT_TRUE(back) << (err ? err->description() : "") << "\n" << bytes->view();
  return back;
}

std::string wrap(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>";
}

Ref<Object> readText(const std::string& text, Ref<Error>* err = nullptr) {
  return PropertyList::read(text, PropertyList::Options::Immutable, err);
}

// Keeps the object alive, unlike cast() on a temporary.
template <class T>
Ref<T> as(Ref<Object> o) {
  return Ref<T>(cast<T>(o));
}

}  // namespace

TEST(PropertyList, EveryTypeRoundTripsNestedAndNonAscii) {
  std::vector<uint8_t> allBytes(256);
  for (int i = 0; i < 256; ++i) allBytes[i] = static_cast<uint8_t>(i);
  auto date = Date::dateWithTimeIntervalSinceReferenceDate(787000000);  // whole seconds
  Ref<Dictionary> inner(new Dictionary{
      {"empty array", Array::array()},
      {"empty dict", Dictionary::dictionary()},
      {"empty string", str("")},
      {"empty data", Data::dataWithBytes(nullptr, 0)},
  });
  Ref<Dictionary> d(new Dictionary{
      {"string", str("héllo — 日本語 😀")},
      {"markup", str("<a href=\"x\">&amp; ]]> 'q'</a>")},
      {"whitespace", str("  line1\r\nline2\ttab\r  ")},
      {"int", Number::numberWithLongLong(42)},
      {"min", Number::numberWithLongLong(std::numeric_limits<long long>::min())},
      {"max unsigned", Number::numberWithUnsignedLongLong(std::numeric_limits<unsigned long long>::max())},
      {"real", num(0.1)},
      {"tiny", num(5e-324)},
      {"float", Number::numberWithFloat(0.7f)},
      {"inf", num(-std::numeric_limits<double>::infinity())},
      {"yes", boolean(true)},
      {"no", boolean(false)},
      {"date", date},
      {"data", make<Data>(allBytes)},
      {"ключ ✓", Ref<Object>(new Array{str("a"), num(1), inner, Ref<Object>(new Array{Array::array()})})},
  });
  Ref<Object> back = roundTrip(d.get());
  ASSERT_TRUE(back);
  EXPECT_TRUE(d->isEqual(back.get())) << back->description();

  auto* b = cast<Dictionary>(back);
  ASSERT_TRUE(b);
  EXPECT_FALSE(b->isMutable());
  EXPECT_EQ(b->get<Number>("yes"), Number::yes());  // the shared booleans, by identity
  EXPECT_EQ(b->get<Number>("no"), Number::no());
  EXPECT_EQ(b->get<Number>("int")->typeLetter(), 'q');
  EXPECT_EQ(b->get<Number>("max unsigned")->typeLetter(), 'Q');
  EXPECT_EQ(b->get<Number>("max unsigned")->unsignedLongLongValue(), std::numeric_limits<unsigned long long>::max());
  EXPECT_EQ(b->get<Number>("real")->typeLetter(), 'd');
  EXPECT_EQ(b->get<Number>("float")->doubleValue(), static_cast<double>(0.7f));  // nothing lost
  EXPECT_EQ(b->get<String>("whitespace")->str(), "  line1\r\nline2\ttab\r  ");
  // Insertion order survives both ways.
  std::vector<std::string> keys;
  for (auto& k : b->allKeys()) keys.push_back(k->description());
  EXPECT_EQ(keys.front(), "string");
  EXPECT_EQ(keys.back(), "ключ ✓");
}

TEST(PropertyList, RealsKeepSpecialValuesAndShortestText) {
  Ref<Array> a(new Array{num(std::nan("")), num(std::numeric_limits<double>::infinity()), num(1e300), num(-0.25)});
  Ref<Data> bytes = PropertyList::write(a.get());
  ASSERT_TRUE(bytes);
  EXPECT_NE(bytes->view().find("<real>-0.25</real>"), std::string::npos);
  EXPECT_NE(bytes->view().find("<real>1e+300</real>"), std::string::npos);
  auto back = as<Array>(PropertyList::read(bytes->view()));
  ASSERT_TRUE(back);
  EXPECT_TRUE(std::isnan(back->get<Number>(0)->doubleValue()));
  EXPECT_EQ(back->get<Number>(1)->doubleValue(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(back->get<Number>(2)->doubleValue(), 1e300);
}

TEST(PropertyList, WritesTheStandardLayout) {
  Ref<Dictionary> d(new Dictionary{{"b", num(1)}, {"a", Ref<Object>(new Array{boolean(true)})}});
  Ref<Data> bytes = PropertyList::write(d.get());
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->toString(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<plist version=\"1.0\">\n"
            "<dict>\n"
            "\t<key>b</key>\n"
            "\t<integer>1</integer>\n"
            "\t<key>a</key>\n"
            "\t<array>\n"
            "\t\t<true/>\n"
            "\t</array>\n"
            "</dict>\n"
            "</plist>\n");
}

TEST(PropertyList, MutableContainersOption) {
  Ref<Dictionary> d(new Dictionary{{"list", Ref<Object>(new Array{Dictionary::dictionary(), str("s")})}});
  auto back = roundTrip(d.get(), PropertyList::Options::MutableContainers);
  auto* md = cast<MutableDictionary>(back);
  ASSERT_TRUE(md);
  auto* list = md->get<MutableArray>("list");
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->get<MutableDictionary>(0));
  EXPECT_FALSE(list->get<String>(1)->isMutable());  // leaves stay immutable
  list->addObject(str("more"));                      // and the containers really are mutable
  EXPECT_EQ(list->count(), 3u);

  auto frozen = roundTrip(d.get());
  EXPECT_FALSE(cast<Dictionary>(frozen)->get<Array>("list")->isMutable());
}

TEST(PropertyList, LenientWhereHandWrittenFilesDiffer) {
  auto v = as<Dictionary>(readText(wrap(
      "<!-- comment --><dict>\n  <key>i</key> <integer> +7 </integer>"
      "<key>r</key><real>-infinity</real><key>c</key><string><![CDATA[<raw> & ]]></string>"
      "<key>d</key><data>\n   AAEC\n   /w==\n  </data><key>dup</key><string>1</string>"
      "<key>dup</key><string>2</string><key>e</key><string/></dict>")));
  ASSERT_TRUE(v);
  EXPECT_EQ(v->get<Number>("i")->longLongValue(), 7);
  EXPECT_EQ(v->get<Number>("r")->doubleValue(), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(v->get<String>("c")->str(), "<raw> & ");
  EXPECT_EQ(v->get<Data>("d")->view(), std::string_view("\x00\x01\x02\xff", 4));
  EXPECT_EQ(v->get<String>("dup")->str(), "2");
  EXPECT_EQ(v->get<String>("e")->str(), "");
}

TEST(PropertyList, MalformedTruncatedBinaryAndMisshapenReadAsAbsent) {
  Ref<Data> good = PropertyList::write(Ref<Dictionary>(new Dictionary{{"k", str("v")}}).get());
  std::string truncated = good->toString().substr(0, good->length() / 2);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"empty", ""},
      {"blank", "  \n"},
      {"truncated", truncated},
      {"binary", std::string("bplist00\xd1\x01\x02QkQv\x08\x0b\x0d", 18)},
      {"not xml", "{ k = v; }"},
      {"json", "{\"k\": \"v\"}"},
      {"wrong root", "<?xml version=\"1.0\"?><dict><key>k</key><string>v</string></dict>"},
      {"empty plist", wrap("")},
      {"two values", wrap("<string>a</string><string>b</string>")},
      {"stray text", wrap("hello<string>a</string>")},
      {"unknown element", wrap("<float>1</float>")},
      {"key without value", wrap("<dict><key>k</key></dict>")},
      {"value where key belongs", wrap("<dict><string>k</string><string>v</string></dict>")},
      {"element in string", wrap("<string>a<b/></string>")},
      {"bad integer", wrap("<integer>1.5</integer>")},
      {"empty integer", wrap("<integer/>")},
      {"integer too big", wrap("<integer>18446744073709551616</integer>")},
      {"integer too small", wrap("<integer>-9223372036854775809</integer>")},
      {"bad real", wrap("<real>1,5</real>")},
      {"bad date", wrap("<date>yesterday</date>")},
      {"bad base64", wrap("<data>!!!!</data>")},
      {"dangling base64", wrap("<data>QUJDR</data>")},
      {"content in true", wrap("<true>no</true>")},
      {"undeclared entity", wrap("<string>&nbsp;</string>")},
      {"mismatched tags", wrap("<array><string>a</array></string>")},
  };
  for (auto& [name, text] : cases) {
    Ref<Error> err;
    EXPECT_FALSE(readText(text, &err)) << name;
    ASSERT_TRUE(err) << name;
    EXPECT_EQ(err->domain(), PropertyList::kErrorDomain) << name;
    EXPECT_EQ(err->code(), name == "binary" ? PropertyList::kReadUnsupportedFormatError
                                            : PropertyList::kReadCorruptError)
        << name;
    EXPECT_FALSE(err->localizedDescription().empty()) << name;
  }
}

TEST(PropertyList, NestingIsBoundedBothWays) {
  std::string deep;
  for (int i = 0; i < PropertyList::kMaxDepth + 5; ++i) deep += "<array>";
  for (int i = 0; i < PropertyList::kMaxDepth + 5; ++i) deep += "</array>";
  EXPECT_FALSE(readText(wrap(deep)));

  Ref<MutableArray> loop = MutableArray::array();
  loop->addObject(loop);  // contains itself
  Ref<Error> err;
  EXPECT_FALSE(PropertyList::write(loop.get(), &err));
  ASSERT_TRUE(err);
  loop->removeAllObjects();  // break the cycle so the test does not leak
}

TEST(PropertyList, EntitiesAreNeverExpandedOrFetched) {
  const std::string bomb =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n"
      " <!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">\n"
      " <!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n <!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n"
      " <!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">\n <!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">\n"
      " <!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">\n <!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">\n"
      " <!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\">\n <!ENTITY i \"&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;\">\n"
      "]>\n<plist version=\"1.0\"><array><string>&i;&i;&i;&i;&i;&i;&i;&i;</string></array></plist>";
  const std::string external =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n"
      "<plist version=\"1.0\"><string>&x;</string></plist>";
  const std::string parameter =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [<!ENTITY % p SYSTEM \"file:///etc/passwd\"> %p;]>\n"
      "<plist version=\"1.0\"><string>x</string></plist>";
  const std::string network =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [<!ENTITY x SYSTEM \"http://192.0.2.1/x\">]>\n"
      "<plist version=\"1.0\"><string>&x;</string></plist>";
  auto started = std::chrono::steady_clock::now();
  for (const std::string* text : {&bomb, &external, &parameter, &network}) {
    Ref<Error> err;
    Ref<Object> v = readText(*text, &err);
    EXPECT_FALSE(v) << (v ? v->description().substr(0, 200) : "");
    ASSERT_TRUE(err);
    EXPECT_NE(err->localizedDescription().find("entities"), std::string::npos) << err->description();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(PropertyList, UnwritableValuesAreRefusedAndNothingIsWritten) {
  const std::vector<std::pair<std::string, Ref<Object>>> cases = {
      {"null", Ref<Object>(Null::null())},
      {"error", Error::errorWithDomain("d", 1)},
      {"null inside", Ref<Object>(new Array{str("a"), Null::null()})},
      {"number key", Ref<Object>(new Dictionary(std::vector<Dictionary::Entry>{{num(1), str("v")}}))},
      {"control character", str("bell\x07")},
      {"control character in key", Ref<Object>(new Dictionary{{"k\x01", str("v")}})},
      {"invalid utf-8", str("\xc3\x28")},
      {"lone surrogate", str("\xed\xa0\x80")},
      {"overlong", str("\xc0\xaf")},
      {"noncharacter", str("\xef\xbf\xbe")},
  };
  tolvatest::TempHome home;
  std::string path = home.path() + "/out.plist";
  ASSERT_FALSE(PropertyList::writeToFile(str("old").get(), path));
  std::string before = slurp(path);
  for (auto& [name, value] : cases) {
    Ref<Error> err;
    EXPECT_FALSE(PropertyList::write(value.get(), &err)) << name;
    ASSERT_TRUE(err) << name;
    EXPECT_EQ(err->code(), PropertyList::kWriteInvalidError) << name;
    EXPECT_FALSE(PropertyList::isValid(value.get())) << name;
    EXPECT_TRUE(PropertyList::writeToFile(value.get(), path)) << name;
    EXPECT_EQ(slurp(path), before) << name;
  }
  EXPECT_EQ(filesIn(home.path()), std::vector<std::string>({"out.plist"}));
  Ref<Error> err;
  PropertyList::write(Ref<Object>(new Dictionary{{"outer", Ref<Object>(new Array{Null::null()})}}).get(), &err);
  EXPECT_NE(err->localizedDescription().find("root.outer[0]"), std::string::npos) << err->description();
}

TEST(PropertyList, LargeDataReadsBack) {
  // Bigger than the XML parser's default text limit.
  std::vector<uint8_t> big(8 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
  auto back = as<Data>(roundTrip(make<Data>(big).get()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->length(), big.size());
  EXPECT_EQ(std::memcmp(back->bytes(), big.data(), big.size()), 0);
}

// ---- AtomicFile ----

TEST(AtomicFile, ReplacesWholeWithTheRequestedModeAndNoLeftovers) {
  tolvatest::TempHome home;
  std::string path = home.path() + "/f";
  ASSERT_FALSE(AtomicFile::write(path, "first"));
  ASSERT_FALSE(AtomicFile::write(path, std::string("second\0bytes", 12), 0600));
  EXPECT_EQ(slurp(path), std::string("second\0bytes", 12));
  struct stat st{};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(filesIn(home.path()), std::vector<std::string>({"f"}));
}

TEST(AtomicFile, FailureLeavesTheOldFileAndNoTemporary) {
  tolvatest::TempHome home;
  Ref<Error> err = AtomicFile::write(home.path() + "/missing/f", "x");
  ASSERT_TRUE(err);
  EXPECT_EQ(err->domain(), Error::kPOSIXErrorDomain);
  EXPECT_EQ(err->code(), ENOENT);

  // A folder in the way: the rename fails after the temporary was written.
  std::string dir = home.path() + "/d";
  ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
  spit(dir + "/keep", "k");
  err = AtomicFile::write(dir, "x");
  ASSERT_TRUE(err);
  EXPECT_EQ(filesIn(home.path()), std::vector<std::string>({"d"}));
  EXPECT_EQ(slurp(dir + "/keep"), "k");
}

TEST(AtomicFile, AProcessKilledBeforeTheRenameLeavesTheOldFileWhole) {
  tolvatest::TempHome home;
  std::string path = home.path() + "/Preferences.plist";
  Ref<Dictionary> oldValue(new Dictionary{{"k", str("old")}});
  ASSERT_FALSE(PropertyList::writeToFile(oldValue.get(), path));

  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    AtomicFile::setBeforeRenameHookForTesting([](const std::string&) { ::_exit(0); });
    Ref<Dictionary> newValue(new Dictionary{{"k", str("new")}});
    PropertyList::writeToFile(newValue.get(), path);
    ::_exit(1);  // not reached when the hook works
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child went past the rename";

  auto back = as<Dictionary>(PropertyList::readFromFile(path));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->get<String>("k")->str(), "old");
  // The abandoned temporary is complete but never took the name.
  auto names = filesIn(home.path());
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[1], "Preferences.plist");
  auto temp = as<Dictionary>(PropertyList::readFromFile(home.path() + "/" + names[0]));
  ASSERT_TRUE(temp);
  EXPECT_EQ(temp->get<String>("k")->str(), "new");
}

TEST(AtomicFile, MoveAsideNeverOverwrites) {
  tolvatest::TempHome home;
  Clock::setVirtual(Date::dateWithISO8601("2026-03-04T05:06:07Z")->timeIntervalSinceReferenceDate());
  std::string path = home.path() + "/P.plist";
  std::string stamp = path + ".corrupt-20260304T050607";

  spit(path, "one");
  EXPECT_EQ(AtomicFile::moveAside(path), stamp);
  spit(path, "two");
  EXPECT_EQ(AtomicFile::moveAside(path), stamp + "-2");
  spit(stamp + "-3", "someone else's");
  spit(path, "three");
  EXPECT_EQ(AtomicFile::moveAside(path), stamp + "-4");
  Clock::setReal();

  EXPECT_EQ(slurp(stamp), "one");
  EXPECT_EQ(slurp(stamp + "-2"), "two");
  EXPECT_EQ(slurp(stamp + "-3"), "someone else's");
  EXPECT_EQ(slurp(stamp + "-4"), "three");
  EXPECT_FALSE(::access(path.c_str(), F_OK) == 0);

  Ref<Error> err;
  EXPECT_EQ(AtomicFile::moveAside(path, &err), "");
  ASSERT_TRUE(err);
  EXPECT_EQ(err->code(), ENOENT);
}
