#pragma once
// What a long press hit, read from the context script's answer to
// getHTMLElementSrcAtPoint(): "1" and a link, "2" and an image source, "3"
// and a link, a space and an image source (which may be missing). Any other
// answer hits nothing.
//
// The link and the source are kept as the page gave them (only a new-tab
// marker and what precedes it are taken off): that is what the menu's
// entries act on. The menu's title is the display form: percent escapes
// decoded and the page's "\xHH" and "\uHHHH" escapes turned into characters.

#include <string>
#include <string_view>

namespace tolva {

class VeskContextMenuTarget {
 public:
  enum class Kind { None, Link, Image, LinkedImage };

  static VeskContextMenuTarget parse(const std::string& answer);

  // Percent escapes (UTF-8) decoded, then the "\x"/"\u" escapes; text whose
  // percent escapes do not decode keeps them.
  static std::string displayForm(const std::string& text);
  // Every "\x" (either case) read as "\u00", then every backslash-u with four
  // hex digits as that UTF-16 unit (surrogate pairs joined; a lone surrogate
  // becomes U+FFFD). Anything else stays as it is.
  static std::string decodeHexEscapes(std::string_view text);

  Kind kind() const noexcept { return kind_; }
  const std::string& link() const noexcept { return link_; }
  const std::string& imageSource() const noexcept { return imageSource_; }
  // The link carried the new-tab marker.
  bool linkWantsNewPage() const noexcept { return linkWantsNewPage_; }
  // The link's display form, or for a lone image its source's.
  std::string title() const;

 private:
  Kind kind_ = Kind::None;
  std::string link_;
  std::string imageSource_;
  bool linkWantsNewPage_ = false;
};

}  // namespace tolva
