#include "shell/MyMutableURLRequest.h"

#include <atomic>

namespace tolva::MyMutableURLRequest {
namespace {
std::atomic<bool> installed{false};
}

void setupUserAgentOverwrite() { installed = true; }

bool isUserAgentOverwriteInstalled() { return installed; }

}  // namespace tolva::MyMutableURLRequest
