#pragma once
// What a download cell shows for an entry: the info text, the pause/resume button's states and
// the progress, worked out from the status and the byte counts.

#include <cstdint>
#include <optional>
#include <string>

namespace tolva {

struct VeskDownloadCellText {
  bool known = false;  // false for a status the cell does not show (nothing changes)
  std::string info;
  bool buttonEnabled = false;
  bool buttonSelected = false;
  std::optional<double> progress;  // none: unchanged

  // total < 0: unknown. failure: what went wrong, added to "Download failed." when not empty.
  static VeskDownloadCellText forEntry(int status, int64_t total, int64_t current, const std::string& url,
                                       const std::string& failure = {});
  // The unit of one number: "MB" from 11 MB on, else "KB" from 11 KB on, else "".
  static std::string unitFor(int64_t bytes);
  static int64_t inUnit(int64_t bytes, const std::string& unit);
};

}  // namespace tolva
