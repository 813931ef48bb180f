#pragma once
// Method exchange over a table of named methods: each class name has methods
// named by selector whose implementation can be read and replaced. The URL
// request class's header setter and initializer are backed by kit's hook
// slots, so exchanging them changes every request, whoever builds it; the
// methods the browser adds (addMethod) live in the table itself.
//
// Thread-safe: a replacement that looks up the method it displaced
// (implementation) waits while an exchange is under way, so no request ever
// meets a half-done exchange.

#include <any>
#include <functional>
#include <string>
#include <string_view>
#include <typeindex>

#include "kit/net/URLRequest.h"

namespace tolva::Swizzle {

// The class whose methods are kit's request hook slots, with its two methods.
inline constexpr const char* kURLRequestClass = "URLRequest";
inline constexpr const char* kSetValueSelector = "setValue:forHTTPHeaderField:";
inline constexpr const char* kInitSelector = "initWithURL:cachePolicy:timeoutInterval:";

// Adds (or replaces) a method of the table. `implementation` is a
// std::function of the method's type.
template <class F>
void addMethod(std::string_view className, std::string_view selector, F implementation);
// Exchanges the implementations of selectors `a` and `b` of the class. False,
// changing nothing, when either is missing or their types differ.
bool swizzleMethod(std::string_view className, std::string_view a, std::string_view b);
// The current implementation of a method; an empty function when it is
// missing or of another type.
template <class F>
F implementation(std::string_view className, std::string_view selector);

// Untyped forms of the two above.
void addMethodAny(std::string_view className, std::string_view selector, std::type_index type, std::any impl);
std::any implementationAny(std::string_view className, std::string_view selector, std::type_index type);

template <class F>
void addMethod(std::string_view className, std::string_view selector, F implementation) {
  addMethodAny(className, selector, typeid(F), std::any(std::move(implementation)));
}

template <class F>
F implementation(std::string_view className, std::string_view selector) {
  std::any found = implementationAny(className, selector, typeid(F));
  F* f = std::any_cast<F>(&found);
  return f ? std::move(*f) : F();
}

}  // namespace tolva::Swizzle
