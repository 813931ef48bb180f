#include "share/oauth/OAParameterAdditions.h"

#include "share/oauth/OABaseAdditions.h"
#include "share/oauth/OAURLEncodingAdditions.h"

namespace tolva::OAParameterAdditions {
namespace {

bool usesQuery(const kit::URLRequest& request) {
  const std::string& m = request.HTTPMethod();
  return m.empty() || m == "GET" || m == "DELETE";
}

}  // namespace

std::optional<std::vector<OARequestParameter>> parameters(const kit::URLRequest& request) {
  std::string text;
  if (usesQuery(request)) {
    if (request.url()) text = request.url()->query();
  } else if (kit::Data* body = request.HTTPBody()) {
    text = std::string(body->view());
  }
  if (text.empty()) return std::nullopt;
  std::vector<OARequestParameter> out;
  OAURLEncodingAdditions::forEachFormPair(
      text, [&](const std::string& name, const std::string& value) { out.emplace_back(name, value); });
  return out;
}

void setParameters(kit::URLRequest& request, const std::vector<OARequestParameter>& parameters) {
  std::string joined;
  for (const OARequestParameter& p : parameters) {
    if (!joined.empty()) joined += "&";
    joined += p.URLEncodedNameValuePair();
  }
  if (usesQuery(request)) {
    if (!request.url()) return;
    request.setURL(kit::URL::URLWithString(OABaseAdditions::URLStringWithoutQuery(*request.url()) + "?" + joined));
    return;
  }
  request.setHTTPBody(kit::Data::dataWithString(joined));
  request.setValue(std::to_string(joined.size()), "Content-Length");
  request.setValue("application/x-www-form-urlencoded", "Content-Type");
}

}  // namespace tolva::OAParameterAdditions
