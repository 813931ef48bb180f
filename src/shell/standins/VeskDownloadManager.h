#pragma once
// Stand-in for the download manager: start() adds an entry {"url"} to an
// in-memory list and fetches nothing. The real manager (persistent list,
// one request per active download, resume) replaces it.

#include <string>

#include "kit/foundation/Array.h"
#include "kit/foundation/Object.h"

namespace tolva {

class VeskDownloadManager : public kit::Object {
 public:
  static VeskDownloadManager* sharedInstance();

  // Answers the new entry's index.
  size_t start(const std::string& url);
  const kit::MutableArray* list() const { return list_.get(); }
  size_t count() const { return list_->count(); }
  void resetForTesting() { list_->removeAllObjects(); }

  std::string className() const override { return "VeskDownloadManager"; }

 private:
  VeskDownloadManager() : list_(kit::MutableArray::array()) {}
  kit::Ref<kit::MutableArray> list_;
};

}  // namespace tolva
