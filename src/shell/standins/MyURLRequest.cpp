#include "shell/standins/MyURLRequest.h"

#include <atomic>

namespace tolva::MyURLRequest {
namespace {
std::atomic<bool> installed{false};
}

void setupAdblockFilter() { installed = true; }

bool isAdblockFilterInstalled() { return installed; }

}  // namespace tolva::MyURLRequest
