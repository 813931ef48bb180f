#include "shell/VeskServiceAddresses.h"

#include <mutex>

namespace tolva {
namespace {

VeskServiceAddresses::Table builtIn() {
  return {"https://www.readability.com", "https://translate.google.com", "https://translate.google.com",
          "https://www.merriam-webster.com"};
}

std::mutex& tableMutex() {
  static std::mutex m;
  return m;
}

VeskServiceAddresses::Table& current() {
  static VeskServiceAddresses::Table t = builtIn();
  return t;
}

}  // namespace

VeskServiceAddresses::Table VeskServiceAddresses::table() {
  std::lock_guard<std::mutex> lock(tableMutex());
  return current();
}

void VeskServiceAddresses::setTable(Table table) {
  std::lock_guard<std::mutex> lock(tableMutex());
  current() = std::move(table);
}

void VeskServiceAddresses::useOriginForTesting(const std::string& origin) {
  setTable({origin, origin, origin, origin});
}

void VeskServiceAddresses::resetForTesting() { setTable(builtIn()); }

}  // namespace tolva
