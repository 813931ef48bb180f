#pragma once
// What an option picker reports to: the chosen value, or none when cancelled.

#include <optional>
#include <string>

namespace tolva {

class ShareFormOptionController;

class ShareFormOptionControllerClient {
 public:
  virtual ~ShareFormOptionControllerClient() = default;
  virtual void ShareFormOptionController(tolva::ShareFormOptionController* picker,
                                         const std::optional<std::string>& pickedOption) = 0;
};

}  // namespace tolva
