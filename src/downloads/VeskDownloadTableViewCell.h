#pragma once
// One row of the download list: the file name, an info text, a progress bar and a pause/resume
// button. The download manager fills it; the cell only owns the button's action. Built by the
// interface file "VeskDownloadTableViewCell".

#include <cstdint>

#include "kit/ui/TableViewCell.h"

namespace kit {
class Button;
class Label;
class ProgressView;
}  // namespace kit

namespace tolva {

class VeskDownloadManager;

class VeskDownloadTableViewCell : public kit::TableViewCell {
 public:
  static constexpr const char* kInterfaceFile = "VeskDownloadTableViewCell";
  static constexpr const char* kReuseIdentifier = "CellForDownloadItem";

  VeskDownloadTableViewCell();
  ~VeskDownloadTableViewCell() override;

  // Registers the interface file (once).
  static void registerInterfaceFile();
  // The first object of the interface file.
  static kit::Ref<VeskDownloadTableViewCell> loadFromInterfaceFile();

  kit::Label* filename() const { return filename_.get(); }
  kit::Label* info() const { return info_.get(); }
  kit::Button* pauseResume() const { return pauseResume_.get(); }
  kit::ProgressView* progress() const { return progress_.get(); }

  int64_t total() const noexcept { return total_; }
  void setTotal(int64_t total) noexcept { total_ = total; }
  int64_t current() const noexcept { return current_; }
  void setCurrent(int64_t current) noexcept { current_ = current; }
  long row() const noexcept { return row_; }
  void setRow(long row) noexcept { row_ = row; }
  // The manager that fills the cell now (it forgets the cell when the cell goes away).
  void setManager(VeskDownloadManager* manager) noexcept { manager_ = manager; }

  void onBtnClicked();
  void awakeFromNib() override;
  // A touched cell never shows a selection.
  void setSelected(bool, bool = false) override {}

  std::string className() const override { return "VeskDownloadTableViewCell"; }

 private:
  kit::Ref<kit::Label> filename_;
  kit::Ref<kit::Label> info_;
  kit::Ref<kit::Button> pauseResume_;
  kit::Ref<kit::ProgressView> progress_;
  int64_t total_ = -1;
  int64_t current_ = 0;
  long row_ = -1;
  VeskDownloadManager* manager_ = nullptr;
};

}  // namespace tolva
