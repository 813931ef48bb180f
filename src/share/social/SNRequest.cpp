#include "share/social/SNRequest.h"

#include <cstdio>
#include <cstdlib>

#include "http/HttpFormDataRequest.h"
#include "json/small/SmallJSON.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/ui/Image.h"
#include "share/core/Share.h"
#include "share/oauth/OAURLEncodingAdditions.h"

namespace tolva {
namespace {

bool isBinary(const kit::Object* value) {
  return dynamic_cast<const kit::Image*>(value) || dynamic_cast<const kit::Data*>(value);
}

std::string textOf(const kit::Object* value) {
  if (auto* s = dynamic_cast<const kit::String*>(value)) return s->str();
  return value ? value->description() : std::string();
}

// A quoted form-data parameter value, escaped as the engine's forms escape theirs.
std::string quotedName(const std::string& name) {
  return "\"" + HttpFormDataRequest::quotedParameterText(name) + "\"";
}

kit::Ref<kit::Dictionary> messageInfo(const std::string& message) {
  kit::Ref<kit::MutableDictionary> info = kit::MutableDictionary::dictionary();
  info->setObject(kit::String::string(message), "error_msg");
  return info;
}

// A failure of the client's own making, readable in an alert.
kit::Ref<kit::Error> clientError(const std::string& message) {
  kit::Ref<kit::MutableDictionary> info = kit::MutableDictionary::dictionary();
  info->setObject(kit::String::string(message), "error_msg");
  info->setObject(kit::String::string(message), kit::Error::kLocalizedDescriptionKey);
  return SNRequest::formError(SNRequest::kClientErrorCode, info);
}

// The failure for an answer that says "later": the body's error details
// when it has them, the client's own code unless the service gave a numeric
// one, and Share::laterError below.
kit::Ref<kit::Error> laterError(const kit::Error* bodyError, int status) {
  kit::Ref<kit::MutableDictionary> info = kit::MutableDictionary::dictionary();
  if (bodyError)
    bodyError->userInfo()->enumerate([&](kit::Object* key, kit::Object* value, bool&) {
      info->setObject(kit::Ref<kit::Object>(value), kit::Ref<kit::Object>(key));
    });
  if (!info->get<kit::String>("error_msg"))
    info->setObject(kit::String::string("The service answered HTTP " + std::to_string(status)), "error_msg");
  if (!info->objectForKey(kit::Error::kLocalizedDescriptionKey))
    info->setObject(kit::Ref<kit::Object>(info->objectForKey("error_msg")), kit::Error::kLocalizedDescriptionKey);
  info->setObject(Share::laterError(status), kit::Error::kUnderlyingErrorKey);
  const bool ownCode = bodyError && bodyError->code() != SNRequest::kGenericErrorCode;
  return SNRequest::formError(ownCode ? bodyError->code() : SNRequest::kClientErrorCode, info);
}

}  // namespace

kit::Ref<SNRequest> SNRequest::getRequestWithParams(Params params, std::string httpMethod, SNRequestDelegate* delegate,
                                                    std::string url) {
  return kit::Ref<SNRequest>(new SNRequest(std::move(params), std::move(httpMethod), delegate, std::move(url)));
}

SNRequest::SNRequest(Params params, std::string httpMethod, SNRequestDelegate* delegate, std::string url)
    : delegate_(delegate), url_(std::move(url)), httpMethod_(std::move(httpMethod)), params_(std::move(params)) {}

SNRequest::~SNRequest() {
  if (connection_) connection_->cancel();
}

std::string SNRequest::serializeURL(const std::string& base, const Params& params, const std::string& httpMethod) {
  const char* separator = base.find('?') != std::string::npos ? "&" : "?";
  std::string pairs;
  for (const auto& [name, value] : params) {
    if (isBinary(value.get())) {
      if (httpMethod == "GET") std::fprintf(stderr, "can not use GET to upload a file\n");
      continue;
    }
    pairs += (pairs.empty() ? "" : "&") + name + "=" + OAURLEncodingAdditions::URLEncodedString(textOf(value.get()));
  }
  return base + separator + pairs;
}

kit::Ref<kit::Error> SNRequest::formError(long code, kit::Ref<kit::Dictionary> userInfo) {
  return kit::Error::errorWithDomain(kErrorDomain, code, std::move(userInfo));
}

kit::Ref<kit::Object> SNRequest::parseJsonResponse(const kit::Data& data, kit::Ref<kit::Error>* error) {
  std::string text(data.view());
  if (text == "true") {
    kit::Ref<kit::MutableDictionary> result = kit::MutableDictionary::dictionary();
    result->setObject(kit::String::string("true"), "result");
    return result;
  }
  if (text == "false") {
    if (error) *error = formError(kGenericErrorCode, messageInfo("This operation can not be completed"));
    return {};
  }
  SmallJSON json;
  kit::Ref<kit::Object> parsed = json.objectWithString(text);
  if (!parsed) return {};
  auto* dict = dynamic_cast<kit::Dictionary*>(parsed.get());
  if (!dict) return parsed;
  kit::Ref<kit::Dictionary> info(dict);
  if (dict->objectForKey("error")) {
    if (error) *error = formError(kGenericErrorCode, info);
    return {};
  }
  if (kit::Object* code = dict->objectForKey("error_code")) {
    if (error) {
      long number = kGenericErrorCode;
      if (auto* n = dynamic_cast<kit::Number*>(code))
        number = static_cast<long>(n->longLongValue());
      else
        number = std::strtol(textOf(code).c_str(), nullptr, 10);
      *error = formError(number, info);
    }
    return {};
  }
  if (error && (dict->objectForKey("error_msg") || dict->objectForKey("error_reason")))
    *error = formError(kGenericErrorCode, info);
  return parsed;
}

kit::Ref<kit::Data> SNRequest::generatePostBody() const {
  const std::string endLine = std::string("\r\n--") + kBoundary + "\r\n";
  std::string body = std::string("--") + kBoundary + "\r\n";
  std::vector<std::pair<std::string, kit::Object*>> binaries;
  for (const auto& [name, value] : params_) {
    if (isBinary(value.get())) {
      binaries.emplace_back(name, value.get());
      continue;
    }
    body += "Content-Disposition: form-data; name=" + quotedName(name) + "\r\n\r\n" + textOf(value.get()) + endLine;
  }
  for (const auto& [name, value] : binaries) {
    // A file part carries its field name too, which multipart/form-data requires.
    body += "Content-Disposition: form-data; name=" + quotedName(name) + "; filename=" + quotedName(name) + "\r\n";
    if (auto* image = dynamic_cast<kit::Image*>(value)) {
      body += "Content-Type: image/png\r\n\r\n";
      if (kit::Ref<kit::Data> png = image->pngData()) body += png->view();
    } else {
      body += "Content-Type: content/unknown\r\n\r\n";
      body += static_cast<kit::Data*>(value)->view();
    }
    body += endLine;
  }
  // The closing delimiter, without which a strict server drops the last part.
  body.resize(body.size() - 2);
  body += "--\r\n";
  return kit::Data::dataWithString(body);
}

void SNRequest::setState(State s) {
  // The observer may drop its reference to us: stay alive for the rest of the call.
  kit::Ref<SNRequest> keep(this);
  state_ = s;
  if (stateObserver_) stateObserver_(*this);
}

void SNRequest::connect() {
  if (connection_) return;
  kit::Ref<SNRequest> keep(this);
  if (delegate_) delegate_->requestLoading(*this);
  kit::Ref<kit::URL> url = kit::URL::URLWithString(serializeURL(url_, params_, httpMethod_));
  if (!url) {
    failWithError(clientError("Bad request address").get());
    return;
  }
  kit::URLRequest request(url, kit::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData, kTimeoutInterval);
  request.setValue("SocialConnect", "User-Agent");
  request.setHTTPMethod(httpMethod_);
  if (httpMethod_ == "POST") {
    request.setValue(std::string("multipart/form-data; boundary=") + kBoundary, "Content-Type");
    request.setHTTPBody(generatePostBody());
  }
  connection_ = kit::Ref<kit::URLConnection>(new kit::URLConnection(request, this, true));
  setState(Loading);
}

void SNRequest::didReceiveResponse(kit::URLConnection&, kit::URLResponse& response) {
  responseText_ = kit::MutableData::data();
  auto* http = dynamic_cast<kit::HTTPURLResponse*>(&response);
  status_ = http ? http->statusCode() : 0;
  if (delegate_) delegate_->requestDidReceiveResponse(*this, response);
}

void SNRequest::didReceiveData(kit::URLConnection&, kit::Data& data) {
  if (!responseText_) responseText_ = kit::MutableData::data();
  responseText_->appendData(data);
}

void SNRequest::didFinishLoading(kit::URLConnection&) {
  kit::Ref<SNRequest> keep(this);
  kit::Ref<kit::MutableData> body = responseText_ ? responseText_ : kit::MutableData::data();
  handleResponseData(*body);
  responseText_ = nullptr;
  connection_ = nullptr;
  if (state_ != Error) setState(Complete);
}

void SNRequest::didFailWithError(kit::URLConnection&, kit::Error& error) {
  kit::Ref<SNRequest> keep(this);
  responseText_ = nullptr;
  connection_ = nullptr;
  failWithError(&error);
}

void SNRequest::failWithError(kit::Error* error) {
  if (state_ == Error) return;
  if (delegate_) delegate_->requestDidFailWithError(*this, error);
  setState(Error);
}

void SNRequest::handleResponseData(kit::Data& data) {
  if (delegate_) delegate_->requestDidLoadRawResponse(*this, &data);
  kit::Ref<kit::Error> error;
  kit::Ref<kit::Object> result = parseJsonResponse(data, &error);
  if (Share::statusMeansLater(status_)) {
    // An outage or a busy service, whatever its body says: a failed request
    // to try again later, never a login problem.
    error = laterError(error.get(), status_);
  } else if (!error && status_ != 0 && (status_ < 200 || status_ > 299)) {
    // A refusal the body does not explain (an error page, a proxy's answer) is
    // still a failure, though no login problem.
    error = clientError("The service answered HTTP " + std::to_string(status_));
  }
  error_ = error;
  if (!delegate_ || !delegate_->wantsParsedAnswers()) return;
  if (error) {
    failWithError(error.get());
    return;
  }
  // An array as it is; a body that is no JSON as the raw data.
  if (result)
    delegate_->requestDidLoad(*this, result.get());
  else
    delegate_->requestDidLoad(*this, &data);
}

}  // namespace tolva
