#include "kit/net/CachedURLResponse.h"

namespace kit {

CachedURLResponse::CachedURLResponse(Ref<URLResponse> response, Ref<Data> data, StoragePolicy policy)
    : response_(std::move(response)), data_(data ? std::move(data) : Ref<Data>(new Data())), policy_(policy) {}

std::string CachedURLResponse::description() const {
  return "<CachedURLResponse " + (response_ ? response_->description() : std::string("(no response)")) +
         " bytes=" + std::to_string(data_->length()) + " policy=" + std::to_string(int(policy_)) + ">";
}

}  // namespace kit
