// The offline queue: what is stored, the replay in order with success,
// temporary and permanent failures, entries that cannot be replayed, orphan
// blobs, the time limit, flushing when the network returns, a crash in the
// middle of a replay, and the real sharers replaying against a service that
// cannot be reached or answers "later".

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>

#include "ShareTest.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Null.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/PropertyList.h"
#include "kit/net/HTTPReadStream.h"
#include "share/ShareRegistration.h"
#include "share/core/ShareOfflineSharer.h"
#include "share/services/instapaper/ShareInstapaper.h"
#include "share/services/pinboard/SharePinboard.h"
#include "share/services/readitlater/ShareReadItLater.h"
#include "share/services/tumblr/ShareTumblr.h"
#include "share/services/twitter/ShareTwitter.h"
#include "support/TestCertificateAuthority.h"
#include "support/TestHTTPServer.h"

extern char** environ;

using namespace tolva;
using sharetest::Outcome;
using sharetest::ShareTest;
using sharetest::ShareTestSharer;

namespace {

class OfflineQueueTest : public ShareTest {
 protected:
  void SetUp() override {
    ShareTest::SetUp();
    script().requiresAuthentication = false;
    script().delay = 0;
  }

  static kit::Ref<ShareItem> note(const std::string& title) {
    return ShareItem::file(kit::Data::dataWithString("body of " + title), title + ".txt", "text/plain", title);
  }
  static std::vector<std::string> uids() {
    std::vector<std::string> out;
    if (kit::Ref<kit::MutableArray> list = Share::getOfflineQueueList())
      for (kit::Object* e : *list) out.push_back(kit::cast<kit::String>(kit::cast<kit::Dictionary>(e)->objectForKey("uid"))->str());
    return out;
  }
  static std::vector<std::string> titles() {
    std::vector<std::string> out;
    if (kit::Ref<kit::MutableArray> list = Share::getOfflineQueueList())
      for (kit::Object* e : *list)
        out.push_back(ShareItem::itemFromDictionary(kit::cast<kit::Dictionary>(kit::cast<kit::Dictionary>(e)->objectForKey("item")))->title());
    return out;
  }
  // The files of the queue folder other than the list.
  static std::vector<std::string> blobs() {
    std::vector<std::string> out;
    for (const auto& name : kit::FileManager::contentsOfDirectory(Share::offlineQueuePath()).value_or(std::vector<std::string>{}))
      if (name.rfind(Share::kOfflineQueueListFile, 0) != 0) out.push_back(name);
    std::sort(out.begin(), out.end());
    return out;
  }
  static std::vector<std::string> sentTitles() {
    std::vector<std::string> out;
    for (const auto& item : script().sent) out.push_back(item->title());
    return out;
  }
  static void queue(const std::vector<std::string>& names) {
    for (const auto& n : names) ASSERT_TRUE(Share::addToOfflineQueue(note(n).get(), ShareTestSharer::kName));
  }
  // Runs the main loop until every replay has ended.
  static bool replayed() {
    kit::OperationQueue* q = Share::currentHelper()->offlineQueue();
    return loop().runUntil([q] { return !q || q->operationCount() == 0; }, 60);
  }
};

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TEST_F(OfflineQueueTest, QueuedSharesKeepTheirItemAndABlobNamedByTheUid) {
  std::vector<uint8_t> rgba(4 * 4 * 4, 200);
  kit::Ref<ShareItem> picture = ShareItem::image(kit::Image::imageWithPixels({4, 4}, rgba), "pic");
  ASSERT_TRUE(Share::addToOfflineQueue(picture.get(), ShareTestSharer::kName));
  queue({"doc"});
  kit::Ref<kit::MutableArray> list = Share::getOfflineQueueList();
  ASSERT_TRUE(list);
  ASSERT_EQ(list->count(), 2u);
  auto* entry = kit::cast<kit::Dictionary>(list->objectAtIndex(0));
  EXPECT_EQ(kit::cast<kit::String>(entry->objectForKey("sharer"))->str(), "ShareTestSharer");
  const std::string uid = kit::cast<kit::String>(entry->objectForKey("uid"))->str();
  EXPECT_EQ(uid.rfind("ShareTestSharer-3-", 0), 0u);
  EXPECT_TRUE(Share::isSafeUid(uid));
  auto* item = kit::cast<kit::Dictionary>(entry->objectForKey("item"));
  EXPECT_EQ(kit::cast<kit::Data>(item->objectForKey("image"))->view().substr(1, 3), "PNG");
  kit::Ref<kit::Data> jpeg = kit::FileManager::readFile(Share::offlineQueuePath() + "/" + uid);
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(jpeg->view().substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(blobs(), sorted(uids()));
  EXPECT_EQ(Share::offlineQueueListPath(), kit::Paths::dataRoot() + "/Share/ShareOfflineQueue.plist");

  // The replay gets its image and data back from the blobs.
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  ASSERT_EQ(script().sent.size(), 2u);
  ASSERT_TRUE(script().sent[0]->image());
  EXPECT_EQ(script().sent[0]->image()->pixelWidth(), 4u);
  ASSERT_TRUE(script().sent[1]->data());
  EXPECT_EQ(script().sent[1]->data()->toString(), "body of doc");
  EXPECT_TRUE(uids().empty());
  EXPECT_TRUE(blobs().empty());
}

TEST_F(OfflineQueueTest, TheReplayRunsInOrderAndKeepsOnlyEntriesThatMayStillGoOut) {
  queue({"one", "two", "three", "four", "five", "six"});
  script().outcomes = {Outcome::Success, Outcome::TemporaryFailure, Outcome::Failure, Outcome::Refuse,
                       Outcome::Cancel, Outcome::Success};
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(sentTitles(), (std::vector<std::string>{"one", "two", "three", "five", "six"}));
  // The network failure stays for the next flush with its blob; the others are gone.
  EXPECT_EQ(titles(), (std::vector<std::string>{"two"}));
  EXPECT_EQ(blobs(), uids());

  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(sentTitles(), (std::vector<std::string>{"one", "two", "three", "five", "six", "two"}));
  EXPECT_TRUE(titles().empty());
  EXPECT_TRUE(blobs().empty());
  // Nothing left: a flush queues nothing.
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(script().sent.size(), 6u);
}

TEST_F(OfflineQueueTest, OfflineFlushesLeaveTheQueueAndAReplayGoingOfflineKeepsItsEntry) {
  queue({"one"});
  setOnline(false);
  Share::flushOfflineQueue();
  EXPECT_EQ(Share::currentHelper()->offlineQueue(), nullptr);
  EXPECT_EQ(titles(), (std::vector<std::string>{"one"}));

  // The network goes again before the replay sends: the entry stays, not queued a second time.
  setOnline(true);
  Share::flushOfflineQueue();
  setOnline(false);
  ASSERT_TRUE(replayed());
  EXPECT_TRUE(script().sent.empty());
  EXPECT_EQ(titles(), (std::vector<std::string>{"one"}));
  EXPECT_EQ(blobs(), uids());

  setOnline(true);
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(sentTitles(), (std::vector<std::string>{"one"}));
  EXPECT_TRUE(titles().empty());
}

TEST_F(OfflineQueueTest, EntriesThatCannotBeReplayedAndOrphanBlobsAreRemoved) {
  queue({"good"});
  kit::Ref<kit::MutableArray> list = Share::getOfflineQueueList();
  auto entry = [](const char* sharer, const char* uid) {
    return kit::Ref<kit::Object>(new kit::Dictionary(
        {{"item", note("x")->dictionaryRepresentation()}, {"sharer", kit::str(sharer)}, {"uid", kit::str(uid)}}));
  };
  list->addObject(entry("ShareNotBuiltHere", "ShareNotBuiltHere-4-1-1"));
  list->addObject(entry("ShareTestSharer", "../../escape"));
  list->addObject(entry("ShareSharer", "ShareSharer-4-1-2"));
  list->addObject(kit::str("not an entry"));
  ASSERT_TRUE(Share::saveOfflineQueueList(list.get()));
  const std::string dir = Share::offlineQueuePath();
  kit::FileManager::writeFile(dir + "/ShareNotBuiltHere-4-1-1", "blob");
  kit::FileManager::writeFile(dir + "/orphan-1-2-3", "blob");
  kit::FileManager::writeFile(kit::Paths::dataRoot() + "/escape", "must stay");

  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(sentTitles(), (std::vector<std::string>{"good"}));
  EXPECT_TRUE(titles().empty());
  EXPECT_TRUE(blobs().empty());
  EXPECT_TRUE(kit::FileManager::fileExists(kit::Paths::dataRoot() + "/escape"));
}

TEST_F(OfflineQueueTest, AnEntryWhoseSharerHasNoLoginIsDroppedWithItsBlob) {
  script().requiresAuthentication = true;
  queue({"one"});
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_TRUE(script().sent.empty());
  EXPECT_TRUE(titles().empty());
  EXPECT_TRUE(blobs().empty());
}

TEST_F(OfflineQueueTest, AnUnreadableListIsSetAsideWithItsBlobsAndAFailedWriteKeepsTheOldList) {
  const std::string path = Share::offlineQueueListPath();
  const std::string dir = Share::offlineQueuePath();
  ASSERT_TRUE(kit::FileManager::writeFile(path, "this is no property list"));
  // A blob the unreadable list may name survives the flush's orphan sweep, beside the list.
  ASSERT_TRUE(kit::FileManager::writeFile(dir + "/ShareTestSharer-4-1-9", "lost entry's file"));
  queue({"kept"});
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(sentTitles(), (std::vector<std::string>{"kept"})) << "the new entry keeps its own blob";
  EXPECT_EQ(script().sent.at(0)->data()->toString(), "body of kept");
  std::string blobsAside;
  for (const auto& name : kit::FileManager::contentsOfDirectory(dir).value_or(std::vector<std::string>{}))
    if (name.rfind("ShareOfflineQueue.plist.unreadable-", 0) == 0 && kit::FileManager::isDirectory(dir + "/" + name))
      blobsAside = dir + "/" + name;
  ASSERT_FALSE(blobsAside.empty());
  kit::Ref<kit::Data> lost = kit::FileManager::readFile(blobsAside + "/ShareTestSharer-4-1-9");
  ASSERT_TRUE(lost);
  EXPECT_EQ(lost->toString(), "lost entry's file");

  queue({"fresh"});
  EXPECT_EQ(titles(), (std::vector<std::string>{"fresh"}));
  bool setAside = false;
  for (const auto& name : kit::FileManager::contentsOfDirectory(Share::offlineQueuePath()).value_or(std::vector<std::string>{}))
    if (name.rfind("ShareOfflineQueue.plist.unreadable-", 0) == 0 && name.find(".blobs") == std::string::npos) {
      setAside = true;
      EXPECT_EQ(kit::FileManager::readFile(Share::offlineQueuePath() + "/" + name)->toString(), "this is no property list");
    }
  EXPECT_TRUE(setAside);

  // An item the list cannot hold is refused; the list and the blobs are as before.
  const std::vector<std::string> before = uids();
  kit::Ref<ShareItem> odd = note("odd");
  odd->setCustomValue(kit::Ref<kit::Object>(kit::Null::null()), "bad");
  EXPECT_FALSE(Share::addToOfflineQueue(odd.get(), ShareTestSharer::kName));
  EXPECT_EQ(uids(), before);
  EXPECT_EQ(blobs(), uids());
  EXPECT_FALSE(Share::isSafeUid(""));
  EXPECT_FALSE(Share::isSafeUid(".hidden"));
  EXPECT_FALSE(Share::isSafeUid("a/b"));
  EXPECT_FALSE(Share::isSafeUid(std::string(201, 'a')));
  EXPECT_TRUE(Share::isSafeUid("ShareX-1-2--3"));
}

TEST_F(OfflineQueueTest, AReplayWithoutAReportEndsAtTheTimeLimitAndIsNotSentTwice) {
  queue({"slow", "next"});
  script().outcomes = {Outcome::NoReport};
  Share::flushOfflineQueue();
  ASSERT_TRUE(loop().runUntil([] { return script().sent.size() == 1; }, 10));
  loop().advance(ShareOfflineSharer::kTimeLimit - 1);
  loop().drain();
  // The next entry waits its turn meanwhile.
  EXPECT_EQ(script().sent.size(), 1u);
  loop().advance(2);
  ASSERT_TRUE(replayed());
  EXPECT_EQ(sentTitles(), (std::vector<std::string>{"slow", "next"}));
  EXPECT_EQ(titles(), (std::vector<std::string>{"slow"}));
  // Still in flight as far as this process knows: a flush leaves it alone.
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(script().sent.size(), 2u);
}

TEST_F(OfflineQueueTest, TheQueueIsFlushedWhenTheNetworkComesBack) {
  Share::flushOfflineQueueWhenConnected();
  setOnline(false);
  queue({"one"});
  loop().drain();
  EXPECT_TRUE(script().sent.empty());
  setOnline(true);
  loop().drain();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(sentTitles(), (std::vector<std::string>{"one"}));
  EXPECT_TRUE(titles().empty());
}

namespace {

// Starts the replay helper; its standard output comes through `out`.
pid_t startHelper(const std::string& log, int hangAt, int* out) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  const std::string hang = std::to_string(hangAt);
  std::vector<char*> argv = {const_cast<char*>(SHARE_REPLAY_HELPER), const_cast<char*>(log.c_str()),
                             const_cast<char*>(hang.c_str()), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, SHARE_REPLAY_HELPER, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  *out = fds[0];
  return pid;
}

// Reads lines until one equals `want` (false at the end of the output).
bool readUntil(int fd, const std::string& want) {
  std::string line;
  char c;
  while (::read(fd, &c, 1) == 1) {
    if (c != '\n') {
      line += c;
      continue;
    }
    if (line == want) return true;
    line.clear();
  }
  return false;
}

std::vector<std::string> lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> out;
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

}  // namespace

TEST_F(OfflineQueueTest, KillingTheProgramDuringAReplayLosesNothingAndResendsOnlyTheShareInFlight) {
  queue({"one", "two", "three", "four", "five"});
  const std::string log = kit::Paths::dataRoot() + "/sent.log";

  int out = -1;
  pid_t pid = startHelper(log, 3, &out);
  ASSERT_GT(pid, 0);
  const bool inFlight = readUntil(out, "sent three");
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(out);
  ASSERT_TRUE(inFlight);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(lines(log), (std::vector<std::string>{"one", "two", "three"}));
  // Done ones are gone with their blobs; the one in flight and the rest stay with theirs.
  EXPECT_EQ(titles(), (std::vector<std::string>{"three", "four", "five"}));
  EXPECT_EQ(blobs(), sorted(uids()));

  pid = startHelper(log, 0, &out);
  ASSERT_GT(pid, 0);
  readUntil(out, "");
  ::waitpid(pid, &status, 0);
  ::close(out);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(lines(log), (std::vector<std::string>{"one", "two", "three", "three", "four", "five"}));
  EXPECT_TRUE(titles().empty());
  EXPECT_TRUE(blobs().empty());
}

namespace {

// The web and note sharers' stores on loopback; a port nobody listens on
// stands for a service that cannot be reached.
class OfflineServicesConfigurator : public DefaultShareConfigurator {
 public:
  std::string origin;
  std::string evernoteUserStoreURL() const override { return origin + "/edam/user"; }
  std::string evernoteNetStoreURLBase() const override { return origin + "/edam/note/"; }
};

class OfflineServicesTest : public OfflineQueueTest {
 protected:
  kit::Ref<DefaultShareConfigurator> configurator() override { return configurator_; }
  void SetUp() override {
    OfflineQueueTest::SetUp();
    ASSERT_TRUE(kit::HTTPReadStream::addTrustedCertificate(tolvatest::TestCertificateAuthority::shared().certificatePEM()));
    registerShareClasses(kit::ClassRegistry::shared());
    for (const char* sharer : {"ShareInstapaper", "SharePinboard", "ShareReadItLater", "ShareEvernote"}) {
      Share::setAuthValue("me", "username", sharer);
      Share::setAuthValue("pw", "password", sharer);
    }
    Share::setAuthValue("me@x", "email", "ShareTumblr");
    Share::setAuthValue("pw", "password", "ShareTumblr");
    Share::setAuthValue("at", "accessKey", "ShareTwitter");
    Share::setAuthValue("ats", "accessSecret", "ShareTwitter");
  }
  void TearDown() override {
    pointAt("");
    ShareTwitter::hosts() = {};
    OfflineQueueTest::TearDown();
  }
  void pointAt(const std::string& host) {
    ShareTwitter::hosts().api = ShareTwitter::hosts().imageHost = host;
    ShareInstapaper::hosts().api = host;
    SharePinboard::hosts().api = host;
    ShareReadItLater::hosts().api = host;
    ShareTumblr::hosts().api = host;
    configurator_->origin = host.empty() ? std::string() : "http://" + host;
  }
  static std::vector<std::string> sharers() {
    std::vector<std::string> out;
    if (kit::Ref<kit::MutableArray> list = Share::getOfflineQueueList())
      for (kit::Object* e : *list) out.push_back(kit::cast<kit::String>(kit::cast<kit::Dictionary>(e)->objectForKey("sharer"))->str());
    return out;
  }

  kit::Ref<OfflineServicesConfigurator> configurator_ = kit::make<OfflineServicesConfigurator>();
};

}  // namespace

TEST_F(OfflineServicesTest, RealSharersKeepTheirEntriesWhileTheServiceGivesNoAnswer) {
  uint16_t downPort = 0;
  {
    tolvatest::TestHTTPServer gone;
    downPort = gone.port();
  }
  pointAt("127.0.0.1:" + std::to_string(downPort));
  auto page = [] { return ShareItem::URL(kit::URL::URLWithString("http://example.com/a"), "A page"); };
  const std::vector<std::string> names = {"ShareInstapaper", "SharePinboard", "ShareReadItLater", "ShareTumblr",
                                          "ShareTumblr", "ShareEvernote"};
  for (size_t i = 0; i < names.size(); ++i) {
    kit::Ref<ShareItem> item = page();
    if (i == 4) item = ShareItem::image(kit::Image::imageWithPixels({4, 4}, std::vector<uint8_t>(64, 0x80)), "pic");
    if (i == 5) item = note("doc");
    ASSERT_TRUE(Share::addToOfflineQueue(item.get(), names[i]));
  }
  const std::vector<std::string> queued = uids();
  ASSERT_EQ(blobs().size(), 2u);

  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(sharers(), names) << "no answer: every entry stays";
  EXPECT_EQ(uids(), queued);
  EXPECT_EQ(blobs().size(), 2u);

  // A gateway answering for a service it cannot reach is no answer either.
  tolvatest::TestHTTPServer gateway{tolvatest::TestHTTPServerOptions::https()};
  auto gatewayCalls = std::make_shared<std::atomic<int>>(0);
  gateway.setFallback([gatewayCalls](const tolvatest::RecordedRequest&) {
    return tolvatest::TestResponse::withStatus(502 + (*gatewayCalls)++ % 3);
  });
  pointAt("127.0.0.1:" + std::to_string(gateway.port()));
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_GE(gateway.requestCount(), 5u);
  EXPECT_EQ(uids(), queued);

  // A service that answers and refuses drops the entry; a page that is not
  // the note service's answer (any plain HTTP reply) keeps it.
  tolvatest::TestHTTPServer refusing{tolvatest::TestHTTPServerOptions::https()};
  refusing.setFallback([](const tolvatest::RecordedRequest&) { return tolvatest::TestResponse::withStatus(400); });
  tolvatest::TestHTTPServer portal;
  portal.setFallback([](const tolvatest::RecordedRequest&) { return tolvatest::TestResponse::ok("<html>Log in</html>"); });
  pointAt("127.0.0.1:" + std::to_string(refusing.port()));
  configurator_->origin = portal.origin();
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(refusing.requestCount(), 5u);
  EXPECT_GE(portal.requestCount(), 1u);
  EXPECT_EQ(sharers(), std::vector<std::string>{"ShareEvernote"});
  EXPECT_EQ(blobs(), uids());

  // Nor is a reply that is no Thrift message at all.
  portal.setFallback([](const tolvatest::RecordedRequest&) {
    return tolvatest::TestResponse::ok(std::string("\x80\x02\x00\x01\x00\x00\x00\x00", 8));
  });
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(sharers(), std::vector<std::string>{"ShareEvernote"});
}

TEST_F(OfflineServicesTest, AnswersThatSayLaterKeepEveryQueuedSharersEntryAndA429StopsTheFlush) {
  tolvatest::TestHTTPServer service{tolvatest::TestHTTPServerOptions::https()};
  auto reply = std::make_shared<std::atomic<int>>(503);
  service.setFallback([reply](const tolvatest::RecordedRequest&) {
    const int status = reply->load();
    // The services' own words for an outage, in their own formats.
    return tolvatest::TestResponse::withStatus(status, status == 500 ? "Please try again later." : "{\"error\":\"Over capacity\"}");
  });
  pointAt("127.0.0.1:" + std::to_string(service.port()));
  auto picture = [] { return ShareItem::image(kit::Image::imageWithPixels({4, 4}, std::vector<uint8_t>(64, 0x80)), "pic"); };
  auto tweet = [](kit::Ref<ShareItem> item) {
    item->setCustomValue("a status", "status");
    return item;
  };
  auto page = [] { return ShareItem::URL(kit::URL::URLWithString("http://example.com/a"), "A page"); };
  struct Row {
    const char* sharer;
    std::function<kit::Ref<ShareItem>()> item;
  };
  const std::vector<Row> table = {
      {"ShareInstapaper", page},
      {"SharePinboard", page},
      {"ShareReadItLater", page},
      {"ShareTumblr", page},
      {"ShareTumblr", picture},
      {"ShareTwitter", [&] { return tweet(page()); }},
      {"ShareTwitter", [&] { return tweet(picture()); }},  // the image host answers first
  };
  for (const Row& row : table) {
    ASSERT_TRUE(Share::addToOfflineQueue(row.item().get(), row.sharer));
    const std::vector<std::string> queued = uids();
    const std::vector<std::string> files = blobs();
    for (int status : {408, 429, 500, 502, 503, 504}) {
      reply->store(status);
      const size_t before = service.requestCount();
      Share::flushOfflineQueue();
      ASSERT_TRUE(replayed());
      EXPECT_EQ(service.requestCount(), before + 1) << row.sharer << " " << status;
      EXPECT_EQ(uids(), queued) << row.sharer << " " << status;
      EXPECT_EQ(blobs(), files) << row.sharer << " " << status;
    }
    // A refusal drops the entry and its file.
    reply->store(400);
    Share::flushOfflineQueue();
    ASSERT_TRUE(replayed());
    EXPECT_TRUE(uids().empty()) << row.sharer;
    EXPECT_TRUE(blobs().empty()) << row.sharer;
  }

  // A service that asks to slow down gets no more of this flush; the rest waits for the next.
  for (const Row& row : table) ASSERT_TRUE(Share::addToOfflineQueue(row.item().get(), row.sharer));
  const std::vector<std::string> all = uids();
  reply->store(429);
  size_t before = service.requestCount();
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(service.requestCount(), before + 1);
  EXPECT_EQ(uids(), all);
  EXPECT_EQ(blobs().size(), 2u);
  reply->store(503);
  before = service.requestCount();
  Share::flushOfflineQueue();
  ASSERT_TRUE(replayed());
  EXPECT_EQ(service.requestCount(), before + table.size());
  EXPECT_EQ(uids(), all);
}
