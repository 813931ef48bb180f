#pragma once
// A response and its data as a URL cache keeps them, with where it may keep them. Immutable.

#include "kit/foundation/Data.h"
#include "kit/foundation/Object.h"
#include "kit/net/URLResponse.h"

namespace kit {

class CachedURLResponse : public Object {
 public:
  // The platform's values.
  enum class StoragePolicy { Allowed = 0, AllowedInMemoryOnly = 1, NotAllowed = 2 };

  // Null data counts as empty.
  CachedURLResponse(Ref<URLResponse> response, Ref<Data> data, StoragePolicy policy = StoragePolicy::Allowed);
  static Ref<CachedURLResponse> cachedResponse(Ref<URLResponse> response, Ref<Data> data,
                                               StoragePolicy policy = StoragePolicy::Allowed) {
    return Ref<CachedURLResponse>(new CachedURLResponse(std::move(response), std::move(data), policy));
  }

  URLResponse* response() const noexcept { return response_.get(); }
  Data* data() const noexcept { return data_.get(); }
  StoragePolicy storagePolicy() const noexcept { return policy_; }

  std::string className() const override { return "CachedURLResponse"; }
  std::string description() const override;

 private:
  Ref<URLResponse> response_;
  Ref<Data> data_;
  StoragePolicy policy_;
};

}  // namespace kit
