#pragma once
// One row of a table. A cell has a content view (where its labels and image
// live and where subclasses add their own views), an accessory on the right
// (a standard mark or a custom view; a second pair is used while editing),
// and a background. Its style decides which labels it has and how the
// standard layout places them:
//   Default   text label only (bold), after the image
//   Value1    text on the left, detail right-aligned on the right
//   Value2    a narrow right-aligned text label, detail after it
//   Subtitle  text on top, detail below in a smaller grey font
//
// The table sets the cell's editing state, editing style, selection and
// indentation; a cell made for a reuse identifier goes back to the table's
// pool when it scrolls off and comes out again through prepareForReuse().
// Main thread only.

#include <string>

#include "kit/ui/Color.h"
#include "kit/ui/View.h"

namespace kit {

class ImageView;
class Label;
class TableView;

class TableViewCell : public View {
 public:
  enum class Style { Default = 0, Value1 = 1, Value2 = 2, Subtitle = 3 };
  enum class AccessoryType { None = 0, DisclosureIndicator = 1, DetailDisclosureButton = 2, Checkmark = 3 };
  enum class SelectionStyle { None = 0, Blue = 1, Gray = 2 };
  enum class EditingStyle { None = 0, Delete = 1, Insert = 2 };

  static constexpr double kDefaultHeight = 44;
  // Left and right padding of the standard layout.
  static constexpr double kPadding = 10;
  static constexpr double kDefaultIndentationWidth = 10;
  // Room the controls of the editing mode take.
  static constexpr double kEditingControlWidth = 32;
  static constexpr double kReorderControlWidth = 32;
  // Width of the standard accessory marks (the detail button is wider).
  static constexpr double kAccessoryMarkWidth = 20;
  static constexpr double kDetailButtonWidth = 29;
  // Colour of a Value1 detail text.
  static Color value1DetailColor() { return Color::rgba(0.22, 0.33, 0.53); }

  explicit TableViewCell(Style style = Style::Default, std::string reuseIdentifier = {});
  ~TableViewCell() override;
  static Ref<TableViewCell> cell(Style style, std::string reuseIdentifier = {}) {
    return Ref<TableViewCell>(new TableViewCell(style, std::move(reuseIdentifier)));
  }

  Style style() const noexcept { return style_; }
  const std::string& reuseIdentifier() const noexcept { return reuseIdentifier_; }

  // ---- Parts
  View* contentView() const noexcept { return contentView_.get(); }
  Label* textLabel() const noexcept { return textLabel_.get(); }
  // Null for the Default style.
  Label* detailTextLabel() const noexcept { return detailTextLabel_.get(); }
  // Shows nothing (and takes no room) until it has an image.
  ImageView* imageView() const noexcept { return imageView_.get(); }
  View* backgroundView() const noexcept { return backgroundView_.get(); }
  void setBackgroundView(View* v);
  View* selectedBackgroundView() const noexcept { return selectedBackgroundView_.get(); }
  void setSelectedBackgroundView(View* v);

  // ---- Accessories. A custom view wins over the type.
  AccessoryType accessoryType() const noexcept { return accessoryType_; }
  void setAccessoryType(AccessoryType t);
  View* accessoryView() const noexcept { return accessoryView_.get(); }
  void setAccessoryView(View* v);
  AccessoryType editingAccessoryType() const noexcept { return editingAccessoryType_; }
  void setEditingAccessoryType(AccessoryType t);
  View* editingAccessoryView() const noexcept { return editingAccessoryView_.get(); }
  void setEditingAccessoryView(View* v);
  // What shows now: the editing pair while editing, else the normal pair.
  AccessoryType currentAccessoryType() const;
  View* currentAccessoryView() const;
  // Where the accessory shown now sits (cell coordinates); empty when none.
  Rect accessoryFrame() const;

  // ---- Selection and highlight
  SelectionStyle selectionStyle() const noexcept { return selectionStyle_; }
  void setSelectionStyle(SelectionStyle s);
  bool isSelected() const noexcept { return selected_; }
  virtual void setSelected(bool selected, bool animated = false);
  bool isHighlighted() const noexcept { return highlighted_; }
  virtual void setHighlighted(bool highlighted, bool animated = false);

  // ---- Editing
  bool isEditing() const noexcept { return editing_; }
  virtual void setEditing(bool editing, bool animated = false);
  // The control shown on the left while editing (the table asks its delegate).
  EditingStyle editingStyle() const noexcept { return editingStyle_; }
  bool showsReorderControl() const noexcept { return showsReorderControl_; }
  void setShowsReorderControl(bool s);
  bool shouldIndentWhileEditing() const noexcept { return indentWhileEditing_; }
  void setShouldIndentWhileEditing(bool s);
  bool showingDeleteConfirmation() const noexcept { return showingDeleteConfirmation_; }
  long indentationLevel() const noexcept { return indentationLevel_; }
  void setIndentationLevel(long level);
  double indentationWidth() const noexcept { return indentationWidth_; }
  void setIndentationWidth(double w);

  // The table showing the cell, or null (not owned).
  TableView* tableView() const noexcept { return tableView_; }

  // Called when the table hands the cell out again; resets selection,
  // highlight and the delete confirmation. Subclasses call the base.
  virtual void prepareForReuse();

  // The standard layout (see above); subclasses adjust after calling it.
  void layoutSubviews() override;

  std::string className() const override { return "TableViewCell"; }

 protected:
  friend class TableView;
  void setTableView(TableView* t) { tableView_ = t; }
  void setEditingStyle(EditingStyle s);
  void setShowingDeleteConfirmation(bool s);

 private:
  // Room on the left (editing control, when indented) and on the right (accessory, reorder control).
  double leftInset() const;
  double rightInset() const;
  static double widthOfAccessory(AccessoryType t);
  void updateHighlightState();

  Style style_;
  std::string reuseIdentifier_;
  Ref<View> contentView_;
  Ref<Label> textLabel_;
  Ref<Label> detailTextLabel_;
  Ref<ImageView> imageView_;
  Ref<View> backgroundView_;
  Ref<View> selectedBackgroundView_;
  AccessoryType accessoryType_ = AccessoryType::None;
  Ref<View> accessoryView_;
  AccessoryType editingAccessoryType_ = AccessoryType::None;
  Ref<View> editingAccessoryView_;
  SelectionStyle selectionStyle_ = SelectionStyle::Blue;
  bool selected_ = false;
  bool highlighted_ = false;
  bool editing_ = false;
  EditingStyle editingStyle_ = EditingStyle::None;
  bool showsReorderControl_ = false;
  bool indentWhileEditing_ = true;
  bool showingDeleteConfirmation_ = false;
  long indentationLevel_ = 0;
  double indentationWidth_ = kDefaultIndentationWidth;
  TableView* tableView_ = nullptr;
};

}  // namespace kit
