#pragma once
// An operation that runs one or more blocks, in the order they were added, on
// the thread that runs the operation; it finishes when the last one returns.

#include <functional>
#include <string>
#include <vector>

#include "kit/foundation/Operation.h"

namespace kit {

class BlockOperation : public Operation {
 public:
  BlockOperation() = default;
  explicit BlockOperation(std::function<void()> block);
  static Ref<BlockOperation> blockOperation(std::function<void()> block);

  // Throws InvalidArgumentException once the operation is executing or finished.
  void addExecutionBlock(std::function<void()> block);
  std::vector<std::function<void()>> executionBlocks() const;

  void main() override;
  std::string className() const override { return "BlockOperation"; }

 private:
  mutable std::mutex blocksMutex_;
  std::vector<std::function<void()>> blocks_;
};

}  // namespace kit
