#include "kit/foundation/BlockOperation.h"

#include "kit/foundation/Exception.h"

namespace kit {

BlockOperation::BlockOperation(std::function<void()> block) {
  if (block) blocks_.push_back(std::move(block));
}

Ref<BlockOperation> BlockOperation::blockOperation(std::function<void()> block) {
  return make<BlockOperation>(std::move(block));
}

void BlockOperation::addExecutionBlock(std::function<void()> block) {
  if (!block) throw InvalidArgumentException("BlockOperation::addExecutionBlock: no block");
  std::lock_guard<std::mutex> g(blocksMutex_);
  if (isExecuting() || isFinished())
    throw InvalidArgumentException("BlockOperation::addExecutionBlock: the operation already ran");
  blocks_.push_back(std::move(block));
}

std::vector<std::function<void()>> BlockOperation::executionBlocks() const {
  std::lock_guard<std::mutex> g(blocksMutex_);
  return blocks_;
}

void BlockOperation::main() {
  std::vector<std::function<void()>> blocks;
  {
    // Taken, not copied: whatever the blocks hold goes when they have run.
    std::lock_guard<std::mutex> g(blocksMutex_);
    blocks.swap(blocks_);
  }
  for (auto& b : blocks) b();
}

}  // namespace kit
