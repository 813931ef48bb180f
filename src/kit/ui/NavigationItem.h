#pragma once
// What a navigation bar shows for one controller: a title (or title view), a
// prompt, a back item for the next controller's back button, and left and
// right items.

#include <string>
#include <vector>

#include "kit/foundation/Object.h"

namespace kit {

class BarButtonItem;
class View;

class NavigationItem : public Object {
 public:
  explicit NavigationItem(std::string title = {});
  ~NavigationItem() override;

  const std::string& title() const noexcept { return title_; }
  void setTitle(std::string t);
  View* titleView() const noexcept { return titleView_.get(); }
  void setTitleView(View* v);
  const std::string& prompt() const noexcept { return prompt_; }
  void setPrompt(std::string p);
  BarButtonItem* backBarButtonItem() const noexcept { return back_.get(); }
  void setBackBarButtonItem(Ref<BarButtonItem> item);
  bool hidesBackButton() const noexcept { return hidesBack_; }
  void setHidesBackButton(bool h, bool animated = false);

  BarButtonItem* leftBarButtonItem() const;
  void setLeftBarButtonItem(Ref<BarButtonItem> item, bool animated = false);
  BarButtonItem* rightBarButtonItem() const;
  void setRightBarButtonItem(Ref<BarButtonItem> item, bool animated = false);
  // Several items a side (the first is outermost).
  const std::vector<Ref<BarButtonItem>>& leftBarButtonItems() const noexcept { return left_; }
  void setLeftBarButtonItems(std::vector<Ref<BarButtonItem>> items, bool animated = false);
  const std::vector<Ref<BarButtonItem>>& rightBarButtonItems() const noexcept { return right_; }
  void setRightBarButtonItems(std::vector<Ref<BarButtonItem>> items, bool animated = false);

  // The bar showing this item (set by the bar; not owned).
  View* bar() const noexcept { return bar_; }
  void setBar(View* bar) { bar_ = bar; }

  std::string className() const override { return "NavigationItem"; }

 private:
  void changed();
  std::string title_;
  Ref<View> titleView_;
  std::string prompt_;
  Ref<BarButtonItem> back_;
  bool hidesBack_ = false;
  std::vector<Ref<BarButtonItem>> left_;
  std::vector<Ref<BarButtonItem>> right_;
  View* bar_ = nullptr;
};

}  // namespace kit
