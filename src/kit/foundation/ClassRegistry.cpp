#include "kit/foundation/ClassRegistry.h"

#include <algorithm>
#include <mutex>

namespace kit {

struct ClassRegistry::Entry {
  Factory factory;
  std::string superclass;
  std::unordered_map<std::string, ClassFunction> functions;
};

ClassRegistry::ClassRegistry() = default;
ClassRegistry::~ClassRegistry() = default;

ClassRegistry& ClassRegistry::shared() {
  // Never destroyed: registrations may be looked up from other static
  // destructors or threads still running at exit.
  static ClassRegistry* registry = new ClassRegistry();
  return *registry;
}

void ClassRegistry::registerClass(std::string_view name, Factory factory, std::string_view superclassName) {
  std::unique_lock lock(mutex_);
  auto& entry = classes_[std::string(name)];
  if (!entry) entry = std::make_unique<Entry>();
  entry->factory = std::move(factory);
  entry->superclass = superclassName == name ? std::string() : std::string(superclassName);
}

void ClassRegistry::registerClassFunction(std::string_view className, std::string_view functionName,
                                          ClassFunction fn) {
  std::unique_lock lock(mutex_);
  auto& entry = classes_[std::string(className)];
  if (!entry) entry = std::make_unique<Entry>();
  if (fn) {
    entry->functions[std::string(functionName)] = std::move(fn);
  } else {
    entry->functions.erase(std::string(functionName));
  }
}

void ClassRegistry::registerClassFunction(std::string_view className, std::string_view functionName,
                                          SimpleClassFunction fn) {
  ClassFunction wrapped;
  if (fn) wrapped = [fn = std::move(fn)](const ClassCall& call) { return fn(call.arg(0)); };
  registerClassFunction(className, functionName, std::move(wrapped));
}

void ClassRegistry::unregisterClass(std::string_view name) {
  std::unique_lock lock(mutex_);
  classes_.erase(std::string(name));
}

bool ClassRegistry::classExists(std::string_view name) const {
  std::shared_lock lock(mutex_);
  return classes_.count(std::string(name)) != 0;
}

Ref<Object> ClassRegistry::create(std::string_view name) const {
  Factory factory;
  {
    std::shared_lock lock(mutex_);
    auto it = classes_.find(std::string(name));
    if (it == classes_.end() || !it->second->factory) return nullptr;
    factory = it->second->factory;
  }
  return factory();
}

std::string ClassRegistry::superclassName(std::string_view name) const {
  std::shared_lock lock(mutex_);
  auto it = classes_.find(std::string(name));
  return it == classes_.end() ? std::string() : it->second->superclass;
}

bool ClassRegistry::isSubclassOf(std::string_view name, std::string_view base) const {
  std::shared_lock lock(mutex_);
  std::string current(name);
  // The step limit stops a superclass cycle registered by mistake.
  for (size_t steps = 0; steps <= classes_.size(); ++steps) {
    auto it = classes_.find(current);
    if (it == classes_.end()) return false;
    if (current == base) return true;
    if (it->second->superclass.empty()) return false;
    current = it->second->superclass;
  }
  return false;
}

std::optional<ClassRegistry::ClassFunction> ClassRegistry::findFunction(std::string_view className,
                                                                        std::string_view functionName) const {
  std::shared_lock lock(mutex_);
  std::string current(className);
  const std::string fname(functionName);
  for (size_t steps = 0; steps <= classes_.size(); ++steps) {
    auto it = classes_.find(current);
    if (it == classes_.end()) return std::nullopt;
    auto f = it->second->functions.find(fname);
    if (f != it->second->functions.end()) return f->second;
    if (it->second->superclass.empty()) return std::nullopt;
    current = it->second->superclass;
  }
  return std::nullopt;
}

bool ClassRegistry::respondsToClassFunction(std::string_view className, std::string_view functionName) const {
  return findFunction(className, functionName).has_value();
}

std::optional<Ref<Object>> ClassRegistry::invoke(std::string_view className, std::string_view functionName,
                                                 std::vector<Object*> args) const {
  auto fn = findFunction(className, functionName);
  if (!fn) return std::nullopt;
  ClassCall call{*this, className, std::move(args)};
  return (*fn)(call);
}

std::optional<Ref<Object>> ClassRegistry::callClassFunction(std::string_view className,
                                                            std::string_view functionName, Object* arg) const {
  std::vector<Object*> args;
  if (arg) args.push_back(arg);
  return invoke(className, functionName, std::move(args));
}

std::optional<Ref<Object>> ClassRegistry::callClassFunction(std::string_view className,
                                                            std::string_view functionName,
                                                            std::initializer_list<Object*> args) const {
  return invoke(className, functionName, std::vector<Object*>(args));
}

std::vector<std::string> ClassRegistry::allClassNames() const {
  std::vector<std::string> names;
  {
    std::shared_lock lock(mutex_);
    names.reserve(classes_.size());
    for (const auto& [name, entry] : classes_) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace kit
