#include "downloads/VeskDownloadCellText.h"

#include "kit/foundation/Bundle.h"
#include "kit/foundation/Format.h"

namespace tolva {

namespace {

std::string localized(const char* key) { return kit::Bundle::mainBundle()->localizedStringForKey(key); }

}  // namespace

std::string VeskDownloadCellText::unitFor(int64_t bytes) {
  // Eleven or more of the unit, not one or more: 10 MB still shows as KB.
  if (bytes / 1048576 >= 11) return "MB";
  if (bytes / 1024 >= 11) return "KB";
  return "";
}

int64_t VeskDownloadCellText::inUnit(int64_t bytes, const std::string& unit) {
  if (unit == "MB") return bytes / 1048576;
  if (unit == "KB") return bytes / 1024;
  return bytes;
}

VeskDownloadCellText VeskDownloadCellText::forEntry(int status, int64_t total, int64_t current,
                                                    const std::string& url, const std::string& failure) {
  VeskDownloadCellText t;
  switch (status) {
    case 0:
      t.known = true;
      t.buttonEnabled = true;
      t.buttonSelected = true;
      t.info = localized("Download will start shortly.") + "\n" + url;
      break;
    case 1:
    case 2: {
      t.known = true;
      t.buttonEnabled = true;
      t.buttonSelected = status == 1;
      const std::string word = status == 2 ? localized("(Paused)") : std::string();
      const std::string unit = unitFor(total < 0 ? current : total);
      const long long now = static_cast<long long>(inUnit(current, unit));
      if (total < 0) {
        t.info = kit::format("%lld%s/? %s\n%s", now, unit.c_str(), word.c_str(), url.c_str());
      } else {
        const long long all = static_cast<long long>(inUnit(total, unit));
        t.info = kit::format("%lld%s/%lld%s %s\n%s", now, unit.c_str(), all, unit.c_str(), word.c_str(), url.c_str());
        t.progress = total == 0 ? 0.0 : static_cast<double>(current) / static_cast<double>(total);
      }
      break;
    }
    case 3: {
      t.known = true;
      const std::string unit = unitFor(total);
      const long long all = static_cast<long long>(inUnit(total, unit));
      t.info = kit::format("%lld%s %s\n%s", all, unit.empty() ? " Bytes" : unit.c_str(),
                           localized("Download completed.").c_str(), url.c_str());
      t.progress = 1.0;
      break;
    }
    case 4:
      t.known = true;
      t.buttonEnabled = true;
      t.info = localized("Download failed.") + (failure.empty() ? std::string() : " (" + failure + ")") + "\n" + url;
      t.progress = 0.0;
      break;
    default:
      break;
  }
  return t;
}

}  // namespace tolva
