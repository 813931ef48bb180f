#pragma once
// Interface files are C++ builder functions registered under a file name
// ("VeskViewComponents", "VeskViewComponents~iphone", ...). Loading a file
// runs its builder with the owner: the builder makes the objects through the
// context (which keeps them and remembers the top-level ones), sets their
// properties, connects the owner's outlets and the controls' actions. Once
// the builder returned, every object it made that is a responder (views,
// controllers) gets awakeFromNib, in the order made; the owner does not. The
// top-level objects are answered. An unknown name builds nothing and answers
// an empty list.
//
// Registration is thread-safe; loading happens on the main thread.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kit/foundation/Object.h"

namespace kit {

class InterfaceFile {
 public:
  class Context {
   public:
    explicit Context(Object* owner) : owner_(owner) {}
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // The object the file is loaded for ("File's Owner"); may be null.
    Object* owner() const noexcept { return owner_; }
    template <class T>
    T* ownerAs() const {
      return dynamic_cast<T*>(owner_);
    }

    // Makes an object of the file.
    template <class T, class... Args>
    Ref<T> make(Args&&... args) {
      Ref<T> obj(new T(std::forward<Args>(args)...));
      track(obj.get());
      return obj;
    }
    // Makes a top-level object of the file.
    template <class T, class... Args>
    Ref<T> makeTopLevel(Args&&... args) {
      Ref<T> obj = make<T>(std::forward<Args>(args)...);
      addTopLevel(obj.get());
      return obj;
    }
    // Counts an object made elsewhere as one of the file's (it is kept and awakened).
    void track(Object* obj);
    // Marks an object (tracked or not) as top-level.
    void addTopLevel(Object* obj);

    const std::vector<Ref<Object>>& objects() const noexcept { return objects_; }
    const std::vector<Ref<Object>>& topLevelObjects() const noexcept { return topLevel_; }

   private:
    Object* owner_;
    std::vector<Ref<Object>> objects_;
    std::vector<Ref<Object>> topLevel_;
  };

  using Builder = std::function<void(Context& context)>;

  // The last registration of a name wins.
  static void registerBuilder(std::string name, Builder builder);
  static void unregisterBuilder(const std::string& name);
  static bool exists(const std::string& name);
  static std::vector<Ref<Object>> load(const std::string& name, Object* owner);
};

}  // namespace kit
