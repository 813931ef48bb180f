// The note service's clients against a real Thrift service on loopback.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thrift/transport/TTransportException.h>

#include "EDAM_constants.h"
#include "share/notes/EDAMClientFactory.h"
#include "support/TempHome.h"
#include "support/TestCertificateAuthority.h"
#include "support/TestThriftServer.h"

namespace {

using tolva::EDAMClientFactory;
using namespace tolva::edam;

class UserStore : public EDAMUserStoreIf {
 public:
  bool checkVersion(const std::string& clientName, int16_t major, int16_t minor) override {
    client = clientName;
    return major == 1 && minor >= 16;
  }
  void authenticate(EDAMAuthenticationResult& result, const std::string& username, const std::string& password,
                    const std::string&, const std::string&) override {
    if (password != "right") {
      EDAMUserException e;
      e.__set_errorCode(2);
      e.__set_parameter("password");
      throw e;
    }
    EDAMUser user;
    user.__set_shardId("s7");
    result.__set_user(user);
    result.__set_authenticationToken("token-for-" + username);
  }
  std::string client;
};

class NoteStore : public EDAMNoteStoreIf {
 public:
  void listNotebooks(std::vector<EDAMNotebook>& out, const std::string&) override {
    EDAMNotebook a, b;
    a.__set_guid("a");
    b.__set_guid("b");
    b.__set_defaultNotebook(true);
    out = {a, b};
  }
  void createNote(EDAMNote& out, const std::string&, const EDAMNote& note) override {
    created = note;
    out = note;
  }
  EDAMNote created;
};

// The body of the first request of a connection (after the HTTP headers).
std::string body(const std::string& wire) { return wire.substr(wire.find("\r\n\r\n") + 4); }

TEST(EDAMClientTest, CallsGoOverHTTPWithNonStrictHeadersAndExceptionsComeBack) {
  auto users = std::make_shared<UserStore>();
  tolvatest::TestThriftServer server(std::make_shared<EDAMUserStoreProcessor>(users));
  std::string error;
  auto client = EDAMClientFactory::userStore(*kit::URL::URLWithString(server.url("/edam/user")), &error);
  ASSERT_TRUE(client) << error;
  EXPECT_TRUE(client->checkVersion("Sharing EDMA", g_EDAM_constants.EDAM_VERSION_MAJOR,
                                   g_EDAM_constants.EDAM_VERSION_MINOR));
  EXPECT_EQ(users->client, "Sharing EDMA");
  EXPECT_FALSE(client->checkVersion("old", 1, 15));

  EDAMAuthenticationResult result;
  client->authenticate(result, "ann", "right", "key", "secret");
  EXPECT_EQ(result.authenticationToken, "token-for-ann");
  EXPECT_EQ(result.user.shardId, "s7");
  try {
    client->authenticate(result, "ann", "wrong", "key", "secret");
    ADD_FAILURE() << "no exception";
  } catch (const EDAMUserException& e) {
    EXPECT_EQ(e.errorCode, 2);
    EXPECT_EQ(e.parameter, "password");
  }

  std::vector<std::string> wire = server.received();
  ASSERT_FALSE(wire.empty());
  EXPECT_EQ(wire[0].rfind("POST /edam/user HTTP/1.1\r\n", 0), 0u) << wire[0].substr(0, 80);
  EXPECT_NE(wire[0].find("Content-Type: application/x-thrift"), std::string::npos);
  // Non-strict: the method name's length comes first, no version word (0x80 0x01).
  std::string first = body(wire[0]);
  EXPECT_EQ(first.substr(0, 16), std::string("\x00\x00\x00\x0c" "checkVersion", 16));
  EXPECT_EQ(first[16], '\x01') << "message type: call";
}

TEST(EDAMClientTest, TheNoteStoreIsReachedOnTheShardPathOverTLS) {
  tolvatest::TempHome home;
  std::string ca = home.path() + "/ca.pem";
  ASSERT_TRUE(tolvatest::TestCertificateAuthority::shared().writeCertificate(ca));
  EDAMClientFactory::setExtraTrustedCertificates(ca);
  auto notes = std::make_shared<NoteStore>();
  tolvatest::TestThriftServer server(std::make_shared<EDAMNoteStoreProcessor>(notes), true);
  std::string error;
  auto client = EDAMClientFactory::noteStore(*kit::URL::URLWithString(server.url("/edam/note/s7")), &error);
  ASSERT_TRUE(client) << error;
  std::vector<EDAMNotebook> books;
  client->listNotebooks(books, "t");
  ASSERT_EQ(books.size(), 2u);
  EXPECT_TRUE(books[1].defaultNotebook);
  EDAMNote note, back;
  note.__set_title("Page");
  note.__set_tagNames({"a", "", "b"});
  client->createNote(back, "t", note);
  EXPECT_EQ(notes->created.title, "Page");
  EXPECT_EQ(notes->created.tagNames.size(), 3u);
  EXPECT_EQ(server.received().at(0).rfind("POST /edam/note/s7 HTTP/1.1\r\n", 0), 0u);
  EDAMClientFactory::setExtraTrustedCertificates({});

  // Without the test CA the same server is refused, at the latest on the first call.
  auto untrusting = EDAMClientFactory::noteStore(*kit::URL::URLWithString(server.url("/edam/note/s7")), &error);
  if (untrusting) {
    std::vector<EDAMNotebook> none;
    EXPECT_THROW(untrusting->listNotebooks(none, "t"), apache::thrift::TException);
  }
}

TEST(EDAMClientTest, ASilentServerTimesOutAndOtherSchemesAreRefused) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  EDAMClientFactory::Timeouts saved = EDAMClientFactory::timeouts();
  EDAMClientFactory::setTimeouts({1000, 300, 300});
  auto client = EDAMClientFactory::userStore(
      *kit::URL::URLWithString("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/edam/user"));
  ASSERT_TRUE(client);
  EXPECT_THROW(client->checkVersion("x", 1, 16), apache::thrift::transport::TTransportException);
  EDAMClientFactory::setTimeouts(saved);
  ::close(fd);

  std::string error;
  EXPECT_FALSE(EDAMClientFactory::userStore(*kit::URL::URLWithString("file:///edam/user"), &error));
  EXPECT_NE(error.find("not an http(s) URL"), std::string::npos);
}

}  // namespace
