#include "kit/security/FileKeychainStore.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "kit/foundation/Clock.h"
#include "kit/security/Keychain.h"
#include "support/TempHome.h"

using namespace kit;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeAll(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class FileKeychainStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { Clock::setVirtual(818483160.0); }  // 2026-12-09T04:26:00Z
  void TearDown() override { Clock::setReal(); }

  std::unique_ptr<Keychain> open() {
    store = std::make_shared<FileKeychainStore>(path);
    return std::make_unique<Keychain>(store);
  }

  tolvatest::TempHome home;
  std::string folder = home.path() + "/data";
  std::string path = folder + "/keychain.plist";
  std::shared_ptr<FileKeychainStore> store;
};

}  // namespace

TEST_F(FileKeychainStoreTest, RoundTripAcrossReopening) {
  std::vector<std::uint8_t> allBytes;
  for (int i = 0; i < 256; ++i) allBytes.push_back(std::uint8_t(i));
  const std::vector<KeychainItem> items = {
      {"veskweb", "example.org", "veskweb", bytes("s3cret")},
      {"SHARE_AUTH_X", "username", std::nullopt, bytes("")},
      {"veskweb", "bare.example", "veskweb", std::nullopt},
      {"a&b<c>]]>", "tab\there\r\nline é ✓ 𝄞", "\"quoted\" 'label'", allBytes},
      {"", "", "", bytes("empty identity")},
  };
  {
    auto keychain = open();
    EXPECT_TRUE(keychain->items().empty());
    EXPECT_FALSE(fs::exists(path)) << "nothing is written before the first change";
    for (const auto& item : items) ASSERT_EQ(keychain->add(item), kKeychainSuccess);
  }
  auto reopened = open();
  EXPECT_EQ(reopened->items(), items);
  EXPECT_EQ(store->movedAsidePath(), "");

  // Changes and deletions persist too.
  KeychainQuery q;
  q.account = "example.org";
  KeychainChanges c;
  c.data = bytes("changed");
  ASSERT_EQ(reopened->update(q, c), kKeychainSuccess);
  KeychainQuery bare;
  bare.account = "bare.example";
  ASSERT_EQ(reopened->remove(bare), kKeychainSuccess);
  auto third = open();
  ASSERT_EQ(third->items().size(), items.size() - 1);
  EXPECT_EQ(third->items()[0].data, bytes("changed"));
}

// Byte for byte what the store's earlier writer produced: no document type
// line, tabs, one-line Base64, a carriage return as a character reference.
TEST_F(FileKeychainStoreTest, FileFromTheEarlierWriterStillReads) {
  const std::string earlier =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<plist version=\"1.0\">\n"
      "<dict>\n"
      "\t<key>version</key>\n"
      "\t<integer>1</integer>\n"
      "\t<key>items</key>\n"
      "\t<array>\n"
      "\t\t<dict>\n"
      "\t\t\t<key>service</key>\n"
      "\t\t\t<string>veskweb</string>\n"
      "\t\t\t<key>account</key>\n"
      "\t\t\t<string>example.org</string>\n"
      "\t\t\t<key>label</key>\n"
      "\t\t\t<string>veskweb</string>\n"
      "\t\t\t<key>data</key>\n"
      "\t\t\t<data>czNjcmV0</data>\n"
      "\t\t</dict>\n"
      "\t\t<dict>\n"
      "\t\t\t<key>service</key>\n"
      "\t\t\t<string>SHARE_AUTH_X</string>\n"
      "\t\t\t<key>account</key>\n"
      "\t\t\t<string>username</string>\n"
      "\t\t\t<key>data</key>\n"
      "\t\t\t<data></data>\n"
      "\t\t</dict>\n"
      "\t\t<dict>\n"
      "\t\t\t<key>service</key>\n"
      "\t\t\t<string>a&amp;b&lt;c&gt;]]&gt;</string>\n"
      "\t\t\t<key>account</key>\n"
      "\t\t\t<string>tab\there&#13;\nline \xc3\xa9</string>\n"
      "\t\t</dict>\n"
      "\t\t<dict>\n"
      "\t\t\t<key>service</key>\n"
      "\t\t\t<string></string>\n"
      "\t\t\t<key>account</key>\n"
      "\t\t\t<string></string>\n"
      "\t\t\t<key>label</key>\n"
      "\t\t\t<string></string>\n"
      "\t\t\t<key>data</key>\n"
      "\t\t\t<data>AAH+/w==</data>\n"
      "\t\t</dict>\n"
      "\t</array>\n"
      "</dict>\n"
      "</plist>\n";
  const std::vector<KeychainItem> expected = {
      {"veskweb", "example.org", "veskweb", bytes("s3cret")},
      {"SHARE_AUTH_X", "username", std::nullopt, bytes("")},
      {"a&b<c>]]>", "tab\there\r\nline \xc3\xa9", std::nullopt, std::nullopt},
      {"", "", "", std::vector<std::uint8_t>{0, 1, 0xfe, 0xff}},
  };
  fs::create_directories(folder);
  writeAll(path, earlier);
  auto keychain = open();
  EXPECT_EQ(keychain->items(), expected);
  EXPECT_EQ(store->movedAsidePath(), "");

  // Rewritten by the current writer, the same items come back.
  KeychainQuery q;
  q.account = "username";
  ASSERT_EQ(keychain->remove(q), kKeychainSuccess);
  auto reopened = open();
  EXPECT_EQ(reopened->items(), (std::vector<KeychainItem>{expected[0], expected[2], expected[3]}));
}

TEST_F(FileKeychainStoreTest, FileIsPrivateAndNoTemporaryFilesRemain) {
  fs::create_directories(folder);
  writeAll(path, "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>version</key><integer>1</integer>"
                 "<key>items</key><array/></dict></plist>");
  ::chmod(path.c_str(), 0644);
  auto keychain = open();
  ASSERT_EQ(keychain->add(KeychainItem{"s", "a", {}, bytes("p")}), kKeychainSuccess);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(namesIn(folder), std::vector<std::string>{"keychain.plist"});
}

TEST_F(FileKeychainStoreTest, MissingFolderIsCreatedOnFirstSave) {
  path = home.path() + "/deeper/still/keychain.plist";
  auto keychain = open();
  ASSERT_EQ(keychain->add(KeychainItem{"s", "a", {}, {}}), kKeychainSuccess);
  EXPECT_TRUE(fs::is_regular_file(path));
}

TEST_F(FileKeychainStoreTest, CorruptFileIsMovedAsideAndNeverOverwritten) {
  const std::string damaged[] = {
      "",                                                 // empty
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>items</key>",  // cut short
      "not xml at all \x01\x02",
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>",  // wrong top level
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>version</key><integer>1</integer>"
      "<key>items</key><array><dict><key>service</key><string>s</string></dict></array></dict></plist>",
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>version</key><integer>1</integer>"
      "<key>items</key><array><dict><key>service</key><string>s</string><key>account</key>"
      "<string>a</string><key>data</key><data>!!</data></dict></array></dict></plist>",
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>version</key><true/>"
      "<key>items</key><array/></dict></plist>",  // a flag is not a version number
      "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a \"aaaaaaaa\">]><plist version=\"1.0\">"
      "<dict><key>version</key><integer>1</integer><key>items</key><array/></dict></plist>",
  };
  fs::create_directories(folder);
  int round = 0;
  for (const std::string& content : damaged) {
    SCOPED_TRACE(round);
    Clock::advance(1);  // a fresh aside name each round
    writeAll(path, content);
    testing::internal::CaptureStderr();
    auto keychain = open();
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(keychain->items().empty());
    const std::string aside = store->movedAsidePath();
    ASSERT_FALSE(aside.empty());
    EXPECT_NE(said.find(aside), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(readAll(aside), content);
    // The empty keychain works and writes a new file; the damaged one stays as it was.
    ASSERT_EQ(keychain->add(KeychainItem{"s", "a", {}, bytes("p")}), kKeychainSuccess);
    EXPECT_EQ(readAll(aside), content);
    EXPECT_EQ(open()->items().size(), 1u);
    ++round;
  }
}

TEST_F(FileKeychainStoreTest, AFifoIsSetAsideAndStaleTemporaryFilesGo) {
  ::alarm(60);  // reading a FIFO would wait for a writer forever
  fs::create_directories(folder);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  writeAll(folder + "/.keychain.plist.tmp-2147483646-0-0badf00d", "half a save");  // its writer is gone
  testing::internal::CaptureStderr();
  auto keychain = open();
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(keychain->items().empty());
  const std::string aside = store->movedAsidePath();
  ASSERT_FALSE(aside.empty());
  EXPECT_TRUE(fs::is_fifo(aside));
  ASSERT_EQ(keychain->add(KeychainItem{"s", "a", {}, bytes("p")}), kKeychainSuccess);
  EXPECT_EQ(open()->items().size(), 1u);
  EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"keychain.plist", fs::path(aside).filename().string()}));
  ::alarm(0);

  // A Unix socket or a link that loops cannot even be opened: set aside too, not kept unsaved.
  fs::remove_all(folder);
  fs::create_directories(folder);
  ASSERT_TRUE(tolvatest::makeUnixSocket(path));
  for (bool socket : {true, false}) {
    if (!socket) {
      ASSERT_EQ(::symlink(path.c_str(), path.c_str()), 0);
    }
    testing::internal::CaptureStderr();
    auto again = open();
    EXPECT_EQ(again->add(KeychainItem{"s", socket ? "b" : "c", {}, bytes("p")}), kKeychainSuccess) << socket;
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(store->movedAsidePath().empty()) << socket;
    fs::remove(path);
  }
}

TEST_F(FileKeychainStoreTest, AsideNameCarriesTheTimeAndNeverReplacesAnEarlierOne) {
  fs::create_directories(folder);
  writeAll(path, "first damage");
  testing::internal::CaptureStderr();
  open();
  EXPECT_EQ(store->movedAsidePath(), path + ".corrupt-20261209T042600");
  writeAll(path, "second damage, same second");
  open();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(store->movedAsidePath(), path + ".corrupt-20261209T042600-2");
  EXPECT_EQ(readAll(path + ".corrupt-20261209T042600"), "first damage");
  EXPECT_EQ(readAll(path + ".corrupt-20261209T042600-2"), "second damage, same second");
}

TEST_F(FileKeychainStoreTest, UnreadableFileIsLeftAloneAndSavesFail) {
  fs::create_directories(path);  // a folder where the file should be
  fs::create_directories(path + "/inside");
  testing::internal::CaptureStderr();
  auto keychain = open();
  EXPECT_EQ(keychain->add(KeychainItem{"s", "a", {}, {}}), kKeychainIOError);
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  EXPECT_TRUE(keychain->items().empty());
  EXPECT_TRUE(fs::is_directory(path + "/inside"));
}

TEST_F(FileKeychainStoreTest, FailedWriteLeavesTheOldFileWhole) {
  auto keychain = open();
  ASSERT_EQ(keychain->add(KeychainItem{"s", "a", "l", bytes("p")}), kKeychainSuccess);
  const std::string before = readAll(path);

  // Let the process write no more than a few bytes past the current file:
  // the larger new file cannot be written.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &previous);
  struct rlimit small = old;
  small.rlim_cur = before.size() + 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  testing::internal::CaptureStderr();
  KeychainStatus status = keychain->add(KeychainItem{"s", "b", {}, std::vector<std::uint8_t>(4096, 7)});
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::sigaction(SIGXFSZ, &previous, nullptr);
  std::string said = testing::internal::GetCapturedStderr();

  EXPECT_EQ(status, kKeychainIOError);
  EXPECT_NE(said.find("write"), std::string::npos) << said;
  EXPECT_EQ(readAll(path), before);
  EXPECT_EQ(keychain->items().size(), 1u);
  EXPECT_EQ(namesIn(folder), std::vector<std::string>{"keychain.plist"});
  EXPECT_EQ(open()->items().size(), 1u);
}

TEST_F(FileKeychainStoreTest, TextAPropertyListCannotHoldIsRefused) {
  auto keychain = open();
  EXPECT_EQ(keychain->add(KeychainItem{"s", std::string("nul\0inside", 10), {}, {}}), kKeychainBadParameter);
  EXPECT_EQ(keychain->add(KeychainItem{"s", "bell\a", {}, {}}), kKeychainBadParameter);
  EXPECT_EQ(keychain->add(KeychainItem{"s", "bad \xff utf-8", {}, {}}), kKeychainBadParameter);
  EXPECT_EQ(keychain->add(KeychainItem{"s", "overlong \xc0\xaf", {}, {}}), kKeychainBadParameter);
  EXPECT_EQ(keychain->add(KeychainItem{"s", "cut \xe2\x9c", {}, {}}), kKeychainBadParameter);
  EXPECT_EQ(keychain->add(KeychainItem{"s", "a", std::string("\x1b"), {}}), kKeychainBadParameter);
  ASSERT_EQ(keychain->add(KeychainItem{"s", "a", {}, {}}), kKeychainSuccess);
  KeychainQuery q;
  KeychainChanges c;
  c.label = std::string("\x7f ok \xf0\x9f\x94\x91");
  EXPECT_EQ(keychain->update(q, c), kKeychainSuccess);
  c.label = std::string("\x01");
  EXPECT_EQ(keychain->update(q, c), kKeychainBadParameter);
  EXPECT_EQ(open()->items().size(), 1u);
}
