#include "kit/ui/InterfaceFile.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "kit/ui/Responder.h"

namespace kit {
namespace {

std::mutex& mutex() {
  static auto* m = new std::mutex();
  return *m;
}

std::map<std::string, InterfaceFile::Builder>& builders() {
  static auto* b = new std::map<std::string, InterfaceFile::Builder>();
  return *b;
}

bool contains(const std::vector<Ref<Object>>& v, const Object* o) {
  return std::any_of(v.begin(), v.end(), [o](const Ref<Object>& r) { return r.get() == o; });
}

}  // namespace

void InterfaceFile::Context::track(Object* obj) {
  if (obj && !contains(objects_, obj)) objects_.emplace_back(obj);
}

void InterfaceFile::Context::addTopLevel(Object* obj) {
  if (!obj) return;
  track(obj);
  if (!contains(topLevel_, obj)) topLevel_.emplace_back(obj);
}

void InterfaceFile::registerBuilder(std::string name, Builder builder) {
  std::lock_guard<std::mutex> g(mutex());
  if (builder) {
    builders()[std::move(name)] = std::move(builder);
  } else {
    builders().erase(name);
  }
}

void InterfaceFile::unregisterBuilder(const std::string& name) {
  std::lock_guard<std::mutex> g(mutex());
  builders().erase(name);
}

bool InterfaceFile::exists(const std::string& name) {
  std::lock_guard<std::mutex> g(mutex());
  return builders().count(name) > 0;
}

std::vector<Ref<Object>> InterfaceFile::load(const std::string& name, Object* owner) {
  Builder builder;
  {
    std::lock_guard<std::mutex> g(mutex());
    auto it = builders().find(name);
    if (it == builders().end()) return {};
    builder = it->second;
  }
  Context context(owner);
  builder(context);
  // Everything is connected now; each object may look around itself.
  auto objects = context.objects();
  for (auto& obj : objects) {
    if (obj.get() == owner) continue;
    if (auto* r = dynamic_cast<Responder*>(obj.get())) r->awakeFromNib();
  }
  return context.topLevelObjects();
}

}  // namespace kit
