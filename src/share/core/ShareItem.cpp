#include "share/core/ShareItem.h"

#include "kit/foundation/Format.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"

namespace tolva {
namespace {

std::string stringFor(const kit::Dictionary* d, std::string_view key) {
  auto* s = kit::cast<kit::String>(d->objectForKey(key));
  return s ? s->str() : std::string();
}

void putString(kit::MutableDictionary& d, std::string_view key, const std::string& value) {
  if (!value.empty()) d.setObject(kit::str(value), key);
}

// Records written before URLs were kept as given hold them with their escapes
// decoded; such a text (a blank in it) is read leniently so that it loads.
kit::Ref<kit::URL> urlFromStored(const std::string& text) {
  if (auto url = kit::URL::URLWithString(text)) return url;
  return kit::URL::lenientURLWithString(text);
}

}  // namespace

kit::Ref<ShareItem> ShareItem::URL(kit::Ref<kit::URL> url, std::string title) {
  auto item = kit::make<ShareItem>();
  item->shareType_ = ShareShareTypeURL;
  item->url_ = std::move(url);
  item->title_ = std::move(title);
  return item;
}

kit::Ref<ShareItem> ShareItem::image(kit::Ref<kit::Image> image, std::string title) {
  auto item = kit::make<ShareItem>();
  item->shareType_ = ShareShareTypeImage;
  item->image_ = std::move(image);
  item->title_ = std::move(title);
  return item;
}

kit::Ref<ShareItem> ShareItem::text(std::string text) {
  auto item = kit::make<ShareItem>();
  item->shareType_ = ShareShareTypeText;
  item->text_ = std::move(text);
  return item;
}

kit::Ref<ShareItem> ShareItem::file(kit::Ref<kit::Data> data, std::string filename, std::string mimeType,
                                    std::string title) {
  auto item = kit::make<ShareItem>();
  item->shareType_ = ShareShareTypeFile;
  item->data_ = std::move(data);
  item->filename_ = std::move(filename);
  item->mimeType_ = std::move(mimeType);
  item->title_ = std::move(title);
  return item;
}

void ShareItem::setCustomValue(kit::Ref<kit::Object> value, std::string_view key) {
  if (!custom_) custom_ = kit::MutableDictionary::dictionary();
  if (value)
    custom_->setObject(std::move(value), key);
  else
    custom_->removeObjectForKey(key);
}

void ShareItem::setCustomValue(const std::string& value, std::string_view key) {
  setCustomValue(kit::Ref<kit::Object>(kit::str(value)), key);
}

kit::Object* ShareItem::customValueForKey(std::string_view key) const {
  return custom_ ? custom_->objectForKey(key) : nullptr;
}

std::string ShareItem::customStringForKey(std::string_view key) const {
  auto* s = kit::cast<kit::String>(customValueForKey(key));
  return s ? s->str() : std::string();
}

bool ShareItem::customBoolForSwitchKey(std::string_view key) const {
  auto* s = kit::cast<kit::String>(customValueForKey(key));
  return s && s->str() == "1";
}

kit::Ref<ShareItem> ShareItem::itemFromDictionary(const kit::Dictionary* d) {
  if (!d) return nullptr;
  auto item = kit::make<ShareItem>();
  if (auto* type = kit::cast<kit::Number>(d->objectForKey("shareType")))
    item->shareType_ = static_cast<ShareShareType>(type->intValue());
  if (auto* url = kit::cast<kit::String>(d->objectForKey("URL"))) item->url_ = urlFromStored(url->str());
  item->title_ = stringFor(d, "title");
  item->text_ = stringFor(d, "text");
  item->tags_ = stringFor(d, "tags");
  if (auto* custom = kit::cast<kit::Dictionary>(d->objectForKey("custom")))
    item->custom_ = kit::cast<kit::MutableDictionary>(custom->mutableCopy());
  item->mimeType_ = stringFor(d, "mimeType");
  item->filename_ = stringFor(d, "filename");
  if (auto* png = kit::cast<kit::Data>(d->objectForKey("image"))) item->image_ = kit::Image::imageWithData(png);
  return item;
}

kit::Ref<kit::Dictionary> ShareItem::dictionaryRepresentation() const {
  auto d = kit::MutableDictionary::dictionary();
  d->setObject(kit::num(static_cast<int>(shareType_)), "shareType");
  if (custom_) d->setObject(custom_->copy(), "custom");
  // Kept as given: decoding the escapes would turn %2F, %26 or %3F into
  // characters that change what the URL means.
  if (url_) d->setObject(kit::str(url_->absoluteString()), "URL");
  putString(*d, "title", title_);
  putString(*d, "text", text_);
  putString(*d, "tags", tags_);
  putString(*d, "mimeType", mimeType_);
  putString(*d, "filename", filename_);
  if (data_) d->setObject(data_, "data");
  if (image_)
    if (auto png = image_->pngData()) d->setObject(png, "image");
  return d;
}

std::string ShareItem::description() const {
  return kit::format("Share type: %@\nURL:%@\nImage:%@\nTitle: %@\nText: %@\nTags:%@\nCustom fields:%@",
                     shareTypeToString(shareType_), url_ ? url_->absoluteString() : std::string("(null)"),
                     image_ ? image_->description() : std::string("(null)"), title_, text_, tags_,
                     custom_ ? custom_->description() : std::string("(null)"));
}

std::string ShareItem::shareTypeToString(int32_t type) {
  switch (type) {
    case ShareShareTypeUndefined: return "ShareShareTypeUndefined";
    case ShareShareTypeURL: return "ShareShareTypeURL";
    case ShareShareTypeText: return "ShareShareTypeText";
    case ShareShareTypeImage: return "ShareShareTypeImage";
    case ShareShareTypeFile: return "ShareShareTypeFile";
    case ShareShareTypeUserInfo: return "ShareShareTypeUserInfo";
    default: return "unknown";
  }
}

}  // namespace tolva
