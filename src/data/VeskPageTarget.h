#pragma once
// What the bookmark list and the HTTP login form need of the page they were
// opened from: its title and address for a new bookmark, opening a chosen
// URL, and loading again with a login. The page view, in a library above
// this one, implements it.

#include <optional>
#include <string>

namespace tolva {

class VeskPageTarget {
 public:
  virtual std::string getTitle() = 0;
  virtual const std::string& location() const noexcept = 0;
  virtual void bookmarkUrlSelected(const std::string& url) = 0;
  virtual void loadRequest(const std::string& url, const std::optional<std::string>& userId = std::nullopt,
                           const std::optional<std::string>& password = std::nullopt) = 0;

 protected:
  ~VeskPageTarget() = default;
};

}  // namespace tolva
