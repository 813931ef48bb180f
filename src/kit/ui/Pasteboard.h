#pragma once
// The general pasteboard: one item at a time, a text, a URL or an image.
// Headless it is memory only; the window backend installs a store that puts
// what is written on the desktop's clipboard and reads what other programs put
// there. All calls on the main thread.

#include <cstdint>
#include <optional>
#include <string>

#include "kit/foundation/Object.h"
#include "kit/foundation/URL.h"
#include "kit/ui/Image.h"

namespace kit {

class Pasteboard : public Object {
 public:
  enum class Kind { Empty, String, URL, Image };
  struct Contents {
    Kind kind = Kind::Empty;
    std::string text;  // the string, or the URL's absolute string
    Ref<kit::Image> image;
  };

  // Where contents go beyond this process (the desktop's clipboard).
  class Store {
   public:
    virtual ~Store() = default;
    virtual void write(const Contents& contents) = 0;
    // What the clipboard holds now; nullopt when it cannot tell (the memory copy is used).
    virtual std::optional<Contents> read() = 0;
  };

  static Pasteboard* generalPasteboard();
  // The backend's store (not owned); null: memory only.
  static void setStore(Store* store);

  // A URL reads back as its string too, as it would when pasted into a text field.
  std::optional<std::string> string() const;
  void setString(std::string text);
  Ref<kit::URL> url() const;
  void setURL(const kit::URL& url);
  Ref<kit::Image> image() const;
  void setImage(Ref<kit::Image> image);

  Contents contents() const;
  // Counts every write of this process (tests and change checks).
  uint64_t changeCount() const noexcept { return changeCount_; }

  std::string className() const override { return "Pasteboard"; }

 private:
  Pasteboard() = default;
  void write(Contents contents);
  Contents memory_;
  uint64_t changeCount_ = 0;
};

}  // namespace kit
