#include "common/Swizzle.h"

#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <utility>

namespace tolva::Swizzle {
namespace {

using kit::URLRequest;

struct Method {
  std::type_index type;
  std::function<std::any()> get;
  std::function<void(std::any)> set;
};

struct Table {
  std::shared_mutex mutex;
  std::map<std::pair<std::string, std::string>, Method, std::less<>> methods;

  Table() {
    // The platform's own methods: kit's hook slots.
    addSlot<URLRequest::SetValueFunction>(kSetValueSelector, &URLRequest::wrapSetValueFunction,
                                          &URLRequest::exchangeSetValueFunction);
    addSlot<URLRequest::InitFunction>(kInitSelector, &URLRequest::wrapInitFunction, &URLRequest::exchangeInitFunction);
  }

  // A method read through the slot's wrap function (re-installing what it
  // finds) and replaced through its exchange function.
  template <class F>
  void addSlot(const char* selector, F (*wrap)(const std::function<F(F)>&), F (*exchange)(F)) {
    Method m{typeid(F),
             [wrap] {
               F now;
               wrap([&](F f) {
                 now = f;
                 return f;
               });
               return std::any(now);
             },
             [exchange](std::any f) { exchange(std::any_cast<F>(f)); }};
    methods.emplace(std::pair<std::string, std::string>(kURLRequestClass, selector), std::move(m));
  }
};

Table& table() {
  static Table* t = new Table();
  return *t;
}

Method* lookup(Table& t, std::string_view className, std::string_view selector) {
  auto it = t.methods.find(std::pair<std::string, std::string>(className, selector));
  return it == t.methods.end() ? nullptr : &it->second;
}

}  // namespace

void addMethodAny(std::string_view className, std::string_view selector, std::type_index type, std::any impl) {
  Table& t = table();
  std::unique_lock<std::shared_mutex> g(t.mutex);
  auto stored = std::make_shared<std::any>(std::move(impl));
  Method m{type, [stored] { return *stored; }, [stored](std::any f) { *stored = std::move(f); }};
  auto key = std::pair<std::string, std::string>(className, selector);
  t.methods.insert_or_assign(std::move(key), std::move(m));
}

std::any implementationAny(std::string_view className, std::string_view selector, std::type_index type) {
  Table& t = table();
  std::shared_lock<std::shared_mutex> g(t.mutex);
  Method* m = lookup(t, className, selector);
  if (!m || m->type != type) return {};
  return m->get();
}

bool swizzleMethod(std::string_view className, std::string_view a, std::string_view b) {
  Table& t = table();
  std::unique_lock<std::shared_mutex> g(t.mutex);
  Method* ma = lookup(t, className, a);
  Method* mb = lookup(t, className, b);
  if (!ma || !mb || ma->type != mb->type) return false;
  if (ma == mb) return true;
  std::any fa = ma->get();
  std::any fb = mb->get();
  // B first: a request reaching the new A finds the former A under B.
  mb->set(std::move(fa));
  ma->set(std::move(fb));
  return true;
}

}  // namespace tolva::Swizzle
