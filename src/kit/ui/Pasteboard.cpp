#include "kit/ui/Pasteboard.h"

namespace kit {
namespace {

Pasteboard::Store* gStore = nullptr;

}  // namespace

Pasteboard* Pasteboard::generalPasteboard() {
  static Pasteboard* board = new Pasteboard();  // lives for the process, like the desktop's clipboard
  return board;
}

void Pasteboard::setStore(Store* store) { gStore = store; }

Pasteboard::Contents Pasteboard::contents() const {
  if (gStore)
    if (std::optional<Contents> c = gStore->read()) return *c;
  return memory_;
}

std::optional<std::string> Pasteboard::string() const {
  Contents c = contents();
  if (c.kind == Kind::String || c.kind == Kind::URL) return c.text;
  return std::nullopt;
}

Ref<URL> Pasteboard::url() const {
  Contents c = contents();
  if (c.kind != Kind::URL && c.kind != Kind::String) return {};
  Ref<URL> u = URL::URLWithString(c.text);
  // Only absolute URLs count: a plain word on the clipboard is no link.
  if (!u || u->scheme().empty()) return {};
  return u;
}

Ref<Image> Pasteboard::image() const {
  Contents c = contents();
  return c.kind == Kind::Image ? c.image : Ref<Image>();
}

void Pasteboard::setString(std::string text) { write({Kind::String, std::move(text), {}}); }

void Pasteboard::setURL(const URL& url) { write({Kind::URL, url.absoluteString(), {}}); }

void Pasteboard::setImage(Ref<Image> image) {
  if (!image) {
    write({});
    return;
  }
  write({Kind::Image, {}, std::move(image)});
}

void Pasteboard::write(Contents contents) {
  memory_ = std::move(contents);
  ++changeCount_;
  if (gStore) gStore->write(memory_);
}

}  // namespace kit
