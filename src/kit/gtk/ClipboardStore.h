#pragma once
// The general pasteboard on the desktop's clipboard (GTK's CLIPBOARD selection).

#include "kit/ui/Pasteboard.h"

namespace kit::gtk {

class ClipboardStore : public Pasteboard::Store {
 public:
  void write(const Pasteboard::Contents& contents) override;
  std::optional<Pasteboard::Contents> read() override;

 private:
  Pasteboard::Contents written_;
};

}  // namespace kit::gtk
