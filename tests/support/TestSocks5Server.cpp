#include "support/TestSocks5Server.h"

#include <arpa/inet.h>

#include <algorithm>

#include "support/TestHeaders.h"
#include "support/WireReader.h"

namespace tolvatest {

using Clock = TestSocket::Clock;

TestSocks5Server::TestSocks5Server(TestServerLimits limits) {
  listener_ = std::make_unique<LoopbackListener>(limits, [this](AcceptedConnection& c) { serve(c); });
  listener_->start();
}

TestSocks5Server::~TestSocks5Server() { stop(); }

void TestSocks5Server::stop() { listener_->stop(); }

uint16_t TestSocks5Server::port() const { return listener_->port(); }

void TestSocks5Server::requireUsernamePassword(const std::string& user, const std::string& password) {
  std::lock_guard<std::mutex> lock(mutex_);
  credentials_ = Credentials{user, password};
}

void TestSocks5Server::clearAuth() {
  std::lock_guard<std::mutex> lock(mutex_);
  credentials_.reset();
}

std::vector<Socks5Record> TestSocks5Server::records() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

size_t TestSocks5Server::recordCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_.size();
}

bool TestSocks5Server::waitForRecords(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return recorded_.wait_for(lock, timeout, [&] { return records_.size() >= n; });
}

uint64_t TestSocks5Server::connectionCount() const { return listener_->acceptedCount(); }

void TestSocks5Server::record(const Socks5Record& record) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(record);
  }
  recorded_.notify_all();
}

void TestSocks5Server::serve(AcceptedConnection& c) {
  TestSocket& client = c.socket;
  WireReader reader(client);
  auto ioDeadline = [&] { return std::min(Clock::now() + c.limits.ioTimeout, c.deadline); };
  auto read = [&](size_t n, std::string& out) {
    out.clear();
    return reader.readLength(n, [&](std::string_view data, std::string_view) {
      out.append(data);
      return true;
    }, ioDeadline()) == ReadResult::Ok;
  };
  auto write = [&](std::string_view bytes) { return client.writeAll(bytes, ioDeadline()) == IOStatus::Ok; };
  auto closeClient = [&] {
    if (!client.stopped()) client.closeGracefully();
  };

  std::string bytes;
  if (!read(2, bytes) || bytes[0] != 5) return closeClient();
  std::string methods;
  if (!read(uint8_t(bytes[1]), methods)) return closeClient();
  std::optional<Credentials> required;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    required = credentials_;
  }
  auto offered = [&](char m) { return methods.find(m) != std::string::npos; };
  Socks5Record rec;
  rec.connectionId = c.id;
  if (required) rec.method = offered(2) ? 2 : 0xFF;
  else rec.method = offered(0) ? 0 : offered(2) ? 2 : 0xFF;
  const char choice[2] = {5, char(rec.method)};
  if (!write(std::string_view(choice, 2)) || rec.method == 0xFF) {
    record(rec);
    return closeClient();
  }

  if (rec.method == 2) {
    std::string version, length, user, password;
    if (!read(1, version) || version[0] != 1 || !read(1, length) || !read(uint8_t(length[0]), user) ||
        !read(1, length) || !read(uint8_t(length[0]), password)) {
      record(rec);
      return closeClient();
    }
    rec.username = user;
    rec.authenticated = !required || (user == required->user && password == required->password);
    const char status[2] = {1, char(rec.authenticated ? 0 : 1)};
    if (!write(std::string_view(status, 2)) || !rec.authenticated) {
      record(rec);
      return closeClient();
    }
  } else {
    rec.authenticated = true;
  }

  auto reply = [&](uint8_t code, uint16_t port) {
    rec.reply = code;
    record(rec);
    const char answer[10] = {5, char(code), 0, 1, char(code == 0 ? 127 : 0), 0, 0, char(code == 0 ? 1 : 0),
                             char(port >> 8), char(port & 0xFF)};
    return write(std::string_view(answer, sizeof answer));
  };

  std::string request;
  if (!read(4, request) || request[0] != 5) {
    record(rec);
    return closeClient();
  }
  rec.command = uint8_t(request[1]);
  rec.addressType = uint8_t(request[3]);
  bool allowed = false;
  std::string address;
  switch (rec.addressType) {
    case 1: {
      if (!read(4, address)) return closeClient();
      char text[INET_ADDRSTRLEN];
      inet_ntop(AF_INET, address.data(), text, sizeof text);
      rec.host = text;
      allowed = rec.host == "127.0.0.1";
      break;
    }
    case 3: {
      std::string length;
      if (!read(1, length) || !read(uint8_t(length[0]), address)) return closeClient();
      rec.host = address;
      allowed = address == "127.0.0.1" || TestHeaders::equalsIgnoringCase(address, "localhost");
      break;
    }
    case 4: {
      if (!read(16, address)) return closeClient();
      char text[INET6_ADDRSTRLEN];
      inet_ntop(AF_INET6, address.data(), text, sizeof text);
      rec.host = text;
      break;
    }
    default:
      reply(8, 0);
      return closeClient();
  }
  std::string port;
  if (!read(2, port)) return closeClient();
  rec.port = uint16_t((uint8_t(port[0]) << 8) | uint8_t(port[1]));

  if (rec.command != 1) {
    reply(7, 0);
    return closeClient();
  }
  if (rec.addressType == 4) {
    reply(8, 0);
    return closeClient();
  }
  if (!allowed) {
    reply(2, 0);
    return closeClient();
  }
  TestSocket upstream = TestSocket::connectLoopback(rec.port, ioDeadline(), &listener_->stopSignal());
  if (!upstream.valid()) {
    reply(5, 0);
    return closeClient();
  }
  if (!reply(0, upstream.localPort())) return;
  TestSocket::relay(client, upstream, reader.takeBuffered(), c.deadline, c.limits.idleTimeout);
}

}  // namespace tolvatest
