#pragma once
// Classes reached by name at run time: settings screens and buttons named in
// a settings description, sharers listed in a resource, configurator keys and
// interface files. A class is a name with an optional factory (for "create an
// instance of the class called X"), an optional superclass name, and named
// class functions (for "call class method Y of class X", e.g. a settings
// button's "onDeleteCaches" or a sharer's "canShare").
//
// Class functions are inherited: asking class X for a function it does not
// define itself looks in its superclass chain, and the function learns which
// class it was called on (ClassCall::className), so a base class function can
// ask the receiving class further questions by name.
//
// Registering. Prefer an explicit registration function per library or
// feature (e.g. `void registerSettingsClasses(kit::ClassRegistry&)`) called
// from main and from the tests that need it. A static ClassRegistration
// object in a .cpp also works, but only when something else in that object
// file is referenced: the linker drops unreferenced object files of a static
// library, and their registrations with them, silently. Static registration
// is safe with respect to initialisation order (the shared registry is
// created on first use).
//
// Thread safety: registration and look-ups may happen on any thread; look-ups
// take a shared lock. Factories and class functions run outside the lock, so
// they may use the registry themselves.

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kit/foundation/Object.h"

namespace kit {

class ClassRegistry;

// The receiver and arguments of a class function call.
struct ClassCall {
  const ClassRegistry& registry;
  // The class the function was called on (may be a subclass of the one defining it).
  std::string_view className;
  std::vector<Object*> args;

  // The i-th argument, or null when fewer were given.
  Object* arg(size_t i = 0) const { return i < args.size() ? args[i] : nullptr; }
};

class ClassRegistry {
 public:
  using Factory = std::function<Ref<Object>()>;
  using ClassFunction = std::function<Ref<Object>(const ClassCall& call)>;
  // The common shape: one optional argument, receiver not needed.
  using SimpleClassFunction = std::function<Ref<Object>(Object* arg)>;

  ClassRegistry();
  ~ClassRegistry();
  ClassRegistry(const ClassRegistry&) = delete;
  ClassRegistry& operator=(const ClassRegistry&) = delete;

  // The process-wide registry.
  static ClassRegistry& shared();

  // Registers (or re-registers: the last registration wins) a class. An empty
  // factory makes a class that exists but cannot be instantiated by name.
  // Class functions registered earlier for the name are kept.
  void registerClass(std::string_view name, Factory factory, std::string_view superclassName = {});
  // Adds a named class function; registers the class (without a factory) when
  // it is not known yet, so registration order does not matter.
  void registerClassFunction(std::string_view className, std::string_view functionName, ClassFunction fn);
  void registerClassFunction(std::string_view className, std::string_view functionName, SimpleClassFunction fn);
  // Forgets a class and its functions (tests).
  void unregisterClass(std::string_view name);

  bool classExists(std::string_view name) const;
  // Null for an unknown class, a class without factory, or a factory that
  // answered null.
  Ref<Object> create(std::string_view name) const;
  // The superclass name, empty for a root or unknown class.
  std::string superclassName(std::string_view name) const;
  // Whether name is base or inherits from it (false when either is unknown).
  bool isSubclassOf(std::string_view name, std::string_view base) const;
  // Whether the class or a superclass defines the function.
  bool respondsToClassFunction(std::string_view className, std::string_view functionName) const;

  // Calls a class function. nullopt when the class or the function is
  // missing; otherwise the function's result, which may itself be null.
  std::optional<Ref<Object>> callClassFunction(std::string_view className, std::string_view functionName,
                                               Object* arg = nullptr) const;
  std::optional<Ref<Object>> callClassFunction(std::string_view className, std::string_view functionName,
                                               std::initializer_list<Object*> args) const;

  std::vector<std::string> allClassNames() const;

 private:
  struct Entry;
  std::optional<ClassFunction> findFunction(std::string_view className, std::string_view functionName) const;
  std::optional<Ref<Object>> invoke(std::string_view className, std::string_view functionName,
                                    std::vector<Object*> args) const;

  mutable std::shared_mutex mutex_;
  std::unordered_map<std::string, std::unique_ptr<Entry>> classes_;
};

// Registers a class with the shared registry when constructed; meant for a
// namespace-scope object. See the note above about static libraries.
struct ClassRegistration {
  ClassRegistration(std::string_view name, ClassRegistry::Factory factory, std::string_view superclassName = {}) {
    ClassRegistry::shared().registerClass(name, std::move(factory), superclassName);
  }
};

}  // namespace kit

// KIT_REGISTER_CLASS(Cls) registers a default-constructible kit::Object
// subclass under its C++ name with the shared registry at start-up.
#define KIT_REGISTER_CLASS(Cls)                                                  \
  static ::kit::ClassRegistration kitClassRegistration_##Cls(#Cls, [] {          \
    return ::kit::Ref<::kit::Object>(new Cls());                                 \
  })
