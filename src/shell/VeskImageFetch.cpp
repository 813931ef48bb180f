#include "shell/VeskImageFetch.h"

#include <thread>

#include "kit/foundation/Data.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/URL.h"
#include "kit/foundation/URLEscaping.h"
#include "kit/net/BackgroundWork.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/URLConnection.h"
#include "kit/net/URLConnectionDelegate.h"
#include "kit/net/URLRequest.h"
#include "kit/security/Base64.h"

namespace tolva {
namespace {

// Reads one answer, giving up past the cap or on a status other than 200.
class CappedRead : public kit::URLConnectionDelegate {
 public:
  void didReceiveResponse(kit::URLConnection& connection, kit::URLResponse& response) override {
    auto* http = dynamic_cast<kit::HTTPURLResponse*>(&response);
    if (http && http->statusCode() != 200) stop(connection);
  }
  void didReceiveData(kit::URLConnection& connection, kit::Data& data) override {
    if (done) return;
    if (body->length() + data.length() > VeskImageFetch::kMaxBytes) return stop(connection);
    body->appendData(data);
  }
  void didFinishLoading(kit::URLConnection&) override {
    ok = !done;
    done = true;
  }
  void didFailWithError(kit::URLConnection&, kit::Error&) override { done = true; }

  kit::Ref<kit::MutableData> body = kit::MutableData::data();
  bool done = false;
  bool ok = false;

 private:
  void stop(kit::URLConnection& connection) {
    done = true;
    connection.cancel();
  }
};

// The bytes of a "data:" URL; null when it is malformed.
kit::Ref<kit::Data> dataURLBytes(const std::string& source) {
  size_t comma = source.find(',');
  if (comma == std::string::npos) return nullptr;
  std::string header = source.substr(5, comma - 5);
  std::string payload = source.substr(comma + 1);
  if (payload.size() > VeskImageFetch::kMaxBytes * 2) return nullptr;
  if (header.size() >= 7 && header.compare(header.size() - 7, 7, ";base64") == 0) {
    std::string text = kit::URLEscaping::replacePercentEscapes(payload).value_or(payload);
    auto bytes = kit::Base64::decode(text);
    return bytes ? kit::Data::dataWithBytes(bytes->data(), bytes->size()) : nullptr;
  }
  std::optional<std::string> plain = kit::URLEscaping::replacePercentEscapes(payload);
  return plain ? kit::Data::dataWithString(*plain) : nullptr;
}

kit::Ref<kit::Data> download(const std::string& source) {
  kit::Ref<kit::URL> url = kit::URL::URLWithString(source);
  if (!url) url = kit::URL::lenientURLWithString(source);
  if (!url || !(url->schemeIs("http") || url->schemeIs("https"))) return nullptr;
  kit::Ref<kit::URLRequest> request =
      kit::URLRequest::requestWithURL(url, kit::URLRequest::CachePolicy::UseProtocolCachePolicy, VeskImageFetch::kTimeout);
  CappedRead read;
  kit::Ref<kit::URLConnection> connection(new kit::URLConnection(*request, &read, false));
  const bool ran = kit::BackgroundWork::run(*connection, [&read] { return read.done; });
  return ran && read.ok ? kit::Ref<kit::Data>(read.body) : nullptr;
}

}  // namespace

kit::Ref<kit::Image> VeskImageFetch::fetchNow(const std::string& source) {
  if (source.empty()) return nullptr;
  kit::Ref<kit::Data> data = source.compare(0, 5, "data:") == 0 ? dataURLBytes(source) : download(source);
  if (!data || data->length() == 0) return nullptr;
  return kit::Image::imageWithData(data.get());
}

void VeskImageFetch::fetch(const std::string& source, Completion done) {
  // Counted in here, so the program does not end under the thread; once it
  // is ending, nothing is fetched and nobody is told.
  kit::BackgroundWork::Job job;
  if (!job) return;
  std::thread([job = std::move(job), source, done = std::move(done)]() mutable {
    Completion tell = std::move(done);
    kit::Ref<kit::Image> image = fetchNow(source);
    kit::RunLoop::performOnMainThread([image, tell = std::move(tell)] {
      if (tell) tell(image);
    });
  }).detach();
}

}  // namespace tolva
