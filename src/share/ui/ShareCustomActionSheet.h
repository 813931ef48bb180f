#pragma once
// The share sheet the kit builds; a place for an application's own changes.

#include "share/ui/ShareActionSheet.h"

namespace tolva {

class ShareCustomActionSheet : public ShareActionSheet {
 public:
  std::string className() const override { return "ShareCustomActionSheet"; }
};

}  // namespace tolva
