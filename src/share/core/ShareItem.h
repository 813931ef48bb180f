#pragma once
// The thing to share: a page (URL and title), a text, an image, a file, or a
// request for the account's information; with per-sharer extras in `custom`.
// The offline queue keeps it in its dictionary form.

#include <cstdint>
#include <string>
#include <string_view>

#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/URL.h"
#include "kit/ui/Image.h"

namespace tolva {

enum ShareShareType : int32_t {
  ShareShareTypeUndefined = 0,
  ShareShareTypeURL = 1,
  ShareShareTypeText = 2,
  ShareShareTypeImage = 3,
  ShareShareTypeFile = 4,
  ShareShareTypeUserInfo = 5,
};

class ShareItem : public kit::Object {
 public:
  ShareItem() = default;

  static kit::Ref<ShareItem> URL(kit::Ref<kit::URL> url, std::string title = {});
  static kit::Ref<ShareItem> image(kit::Ref<kit::Image> image, std::string title = {});
  static kit::Ref<ShareItem> text(std::string text);
  static kit::Ref<ShareItem> file(kit::Ref<kit::Data> data, std::string filename, std::string mimeType,
                                  std::string title);

  // A null value removes the key.
  void setCustomValue(kit::Ref<kit::Object> value, std::string_view key);
  void setCustomValue(const std::string& value, std::string_view key);
  kit::Object* customValueForKey(std::string_view key) const;
  // The custom value as text ("" when absent or not a text).
  std::string customStringForKey(std::string_view key) const;
  // True exactly when the custom value is the text "1".
  bool customBoolForSwitchKey(std::string_view key) const;

  // Rebuilds an item from its dictionary form; "data" is not read back (a
  // file's contents come from the offline queue's blob).
  static kit::Ref<ShareItem> itemFromDictionary(const kit::Dictionary* dictionary);
  kit::Ref<kit::Dictionary> dictionaryRepresentation() const;
  std::string description() const override;
  // The type's name; "unknown" for a value that is no type.
  static std::string shareTypeToString(int32_t type);

  ShareShareType shareType() const noexcept { return shareType_; }
  void setShareType(ShareShareType t) { shareType_ = t; }
  kit::URL* URL() const noexcept { return url_.get(); }
  void setURL(kit::Ref<kit::URL> url) { url_ = std::move(url); }
  kit::Image* image() const noexcept { return image_.get(); }
  void setImage(kit::Ref<kit::Image> image) { image_ = std::move(image); }
  const std::string& title() const noexcept { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }
  const std::string& text() const noexcept { return text_; }
  void setText(std::string t) { text_ = std::move(t); }
  const std::string& tags() const noexcept { return tags_; }
  void setTags(std::string t) { tags_ = std::move(t); }
  kit::Data* data() const noexcept { return data_.get(); }
  void setData(kit::Ref<kit::Data> d) { data_ = std::move(d); }
  const std::string& mimeType() const noexcept { return mimeType_; }
  void setMimeType(std::string m) { mimeType_ = std::move(m); }
  const std::string& filename() const noexcept { return filename_; }
  void setFilename(std::string f) { filename_ = std::move(f); }
  kit::MutableDictionary* custom() const noexcept { return custom_.get(); }
  void setCustom(kit::Ref<kit::MutableDictionary> c) { custom_ = std::move(c); }

  std::string className() const override { return "ShareItem"; }

 private:
  ShareShareType shareType_ = ShareShareTypeUndefined;
  kit::Ref<kit::URL> url_;
  kit::Ref<kit::Image> image_;
  std::string title_;
  std::string text_;
  std::string tags_;
  kit::Ref<kit::Data> data_;
  std::string mimeType_;
  std::string filename_;
  kit::Ref<kit::MutableDictionary> custom_;
};

}  // namespace tolva
