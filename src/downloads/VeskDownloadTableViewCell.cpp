#include "downloads/VeskDownloadTableViewCell.h"

#include "downloads/VeskDownloadManager.h"
#include "kit/ui/Button.h"
#include "kit/ui/Font.h"
#include "kit/ui/InterfaceFile.h"
#include "kit/ui/Label.h"
#include "kit/ui/ProgressView.h"

namespace tolva {

VeskDownloadTableViewCell::VeskDownloadTableViewCell()
    : kit::TableViewCell(kit::TableViewCell::Style::Default, kReuseIdentifier) {}

VeskDownloadTableViewCell::~VeskDownloadTableViewCell() {
  if (manager_) manager_->disconnectTableViewCell(this);
}

void VeskDownloadTableViewCell::registerInterfaceFile() {
  if (kit::InterfaceFile::exists(kInterfaceFile)) return;
  kit::InterfaceFile::registerBuilder(kInterfaceFile, [](kit::InterfaceFile::Context& context) {
    kit::Ref<VeskDownloadTableViewCell> cell = context.makeTopLevel<VeskDownloadTableViewCell>();
    kit::View* content = cell->contentView();
    // Laid out on the content view's width now; the table widens it to its own.
    const double w = content->bounds().width();
    const unsigned width = kit::View::FlexibleWidth;
    cell->filename_ = context.make<kit::Label>(kit::Rect{10, 4, w - 96, 20});
    cell->filename_->setFont(kit::Font::boldSystemFont(15));
    cell->filename_->setAutoresizingMask(width);
    cell->info_ = context.make<kit::Label>(kit::Rect{10, 24, w - 96, 30});
    cell->info_->setFont(kit::Font::systemFont(11));
    cell->info_->setNumberOfLines(2);
    cell->info_->setAutoresizingMask(width);
    cell->progress_ = context.make<kit::ProgressView>(kit::Rect{10, 58, w - 96, 8});
    cell->progress_->setAutoresizingMask(width);
    cell->pauseResume_ = context.make<kit::Button>(kit::Rect{w - 80, 15, 72, 40}, kit::Button::Type::RoundedRect);
    cell->pauseResume_->setAutoresizingMask(kit::View::FlexibleLeftMargin);
    cell->pauseResume_->titleLabel()->setFont(kit::Font::boldSystemFont(13));
    cell->pauseResume_->setTitle("Resume", kit::Control::Normal);
    cell->pauseResume_->setTitle("Pause", kit::Control::Selected);
    VeskDownloadTableViewCell* raw = cell.get();
    cell->pauseResume_->addTarget("onBtnClicked:", kit::Control::TouchUpInside,
                                  [raw](kit::Control&) { raw->onBtnClicked(); });
    for (kit::View* v : std::initializer_list<kit::View*>{cell->filename_.get(), cell->info_.get(),
                                                          cell->progress_.get(), cell->pauseResume_.get()}) {
      content->addSubview(v);
    }
  });
}

kit::Ref<VeskDownloadTableViewCell> VeskDownloadTableViewCell::loadFromInterfaceFile() {
  registerInterfaceFile();
  for (const kit::Ref<kit::Object>& o : kit::InterfaceFile::load(kInterfaceFile, nullptr)) {
    if (auto* cell = dynamic_cast<VeskDownloadTableViewCell*>(o.get())) return kit::Ref<VeskDownloadTableViewCell>(cell);
  }
  return nullptr;
}

void VeskDownloadTableViewCell::awakeFromNib() {
  if (progress_) progress_->setProgress(0);
}

void VeskDownloadTableViewCell::onBtnClicked() {
  VeskDownloadManager* manager = VeskDownloadManager::sharedInstance();
  switch (manager->state(row_)) {
    case DownloadStatusFailed:
    case DownloadStatusPaused:
      manager->resume(row_);
      break;
    case DownloadStatusQueued:
    case DownloadStatusDownloading:
      manager->pause(row_);
      break;
    default:
      break;
  }
}

}  // namespace tolva
