#pragma once
// The outcome of one signed fetch: the request, the response, the reply
// bytes and whether the service accepted it (status below 400).

#include <optional>
#include <string>

#include "kit/foundation/Data.h"
#include "kit/net/URLResponse.h"
#include "share/oauth/OAMutableURLRequest.h"

namespace tolva {

class OAServiceTicket : public kit::Object {
 public:
  OAServiceTicket(kit::Ref<OAMutableURLRequest> request, kit::Ref<kit::URLResponse> response, kit::Ref<kit::Data> data,
                  bool didSucceed)
      : request_(std::move(request)), response_(std::move(response)), data_(std::move(data)), didSucceed_(didSucceed) {}

  OAMutableURLRequest* request() const noexcept { return request_.get(); }
  kit::URLResponse* response() const noexcept { return response_.get(); }
  kit::Data* data() const noexcept { return data_.get(); }
  bool didSucceed() const noexcept { return didSucceed_; }
  // The reply as text; nullopt without data.
  std::optional<std::string> body() const {
    if (!data_) return std::nullopt;
    return std::string(data_->view());
  }

  std::string className() const override { return "OAServiceTicket"; }

 private:
  kit::Ref<OAMutableURLRequest> request_;
  kit::Ref<kit::URLResponse> response_;
  kit::Ref<kit::Data> data_;
  bool didSucceed_;
};

}  // namespace tolva
