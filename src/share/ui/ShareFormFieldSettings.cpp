#include "share/ui/ShareFormFieldSettings.h"

#include "kit/foundation/Array.h"
#include "kit/foundation/String.h"
#include "share/ui/ShareFormIndexes.h"

namespace tolva {

kit::Ref<ShareFormFieldSettings> ShareFormFieldSettings::label(std::string label, std::string key, int type,
                                                               std::string start,
                                                               kit::Ref<kit::MutableDictionary> optionPickerInfo) {
  auto s = kit::make<ShareFormFieldSettings>();
  s->label_ = std::move(label);
  s->key_ = std::move(key);
  s->type_ = type;
  s->start_ = std::move(start);
  s->optionPickerInfo_ = std::move(optionPickerInfo);
  return s;
}

std::string ShareFormFieldSettings::optionPickerValueForIndexes(const std::string& indexes) const {
  if (indexes == "-1") return "-1";
  auto* items = optionPickerInfo_ ? kit::cast<kit::Array>(optionPickerInfo_->objectForKey("itemsList")) : nullptr;
  std::string value;
  bool any = false;
  for (long index : ShareFormIndexes::parse(indexes)) {
    if (!items || index < 0 || static_cast<size_t>(index) >= items->count()) continue;
    auto* text = kit::cast<kit::String>(items->objectAtIndex(static_cast<size_t>(index)));
    if (!text) continue;
    if (any) value += ",";
    value += text->str();
    any = true;
  }
  return any ? value : "-1";
}

}  // namespace tolva
