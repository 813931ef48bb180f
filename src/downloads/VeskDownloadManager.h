#pragma once
// The persistent list of downloads and one request per active entry. Main thread only: the
// screens call it there and the request engine reports to it there.
//
// Each entry is a mutable dictionary {"url", "filePath", "filePathFixed", "status",
// "content_size", "received", "temporaryPath"} kept in the user-defaults key "download". A
// download is written to a partial file in a private folder of the cache root and moved into the
// documents folder when it completes, under a name no file or other entry uses; a paused or
// interrupted download continues from the bytes on disk.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "http/HttpProgressDelegate.h"
#include "http/HttpRequestDelegate.h"
#include "kit/foundation/Array.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/URL.h"

namespace tolva {

class HttpRequest;
class VeskDownloadTableViewCell;

enum DownloadStatus : int {
  DownloadStatusQueued = 0,
  DownloadStatusDownloading = 1,
  DownloadStatusPaused = 2,
  DownloadStatusCompleted = 3,
  DownloadStatusFailed = 4,
};

class VeskDownloadManager : public kit::Object, public HttpProgressDelegate, public HttpRequestDelegate {
 public:
  static constexpr const char* kDefaultsKey = "download";

  static VeskDownloadManager* sharedInstance();

  long count();
  // Loaded on first use.
  kit::MutableArray* list();

  // Both answer the new entry's index. A name given by the caller is kept across redirects.
  long start(const std::string& url);
  long start(const std::string& url, const std::optional<std::string>& fileName);
  void pause(long index);
  void resume(long index);
  // Out-of-range indices answer DownloadStatusFailed.
  int state(long index);
  std::string pathOfItem(long index);
  std::string urlOfItem(long index);
  bool completedItem(long index);
  void updateFilePath(const std::string& path, long index);
  // Gives a completed entry's file a new name in the same folder, never replacing a file or a
  // name another entry holds. Answers 0, or the errno-style code of the failure.
  int renameItem(long index, const std::string& newName);
  void remove(long index);
  void removeWithoutSync(long index);
  void removeAllFailed();
  // Makes the cell the one that shows the entry (no cell: forgets the entry's cell) and fills it.
  void connectToTableViewCell(long index, VeskDownloadTableViewCell* cell);
  // Forgets whichever entry the cell showed (a reused cell).
  void disconnectTableViewCell(VeskDownloadTableViewCell* cell);
  bool checkDownloadable(const kit::URL* url);
  // The text of the last failure of a failed entry ("Download failed." and what went wrong).
  std::string failureTextOfItem(long index);

  std::vector<std::string>& downloadable_ext() { return downloadableExt_; }

  // The name rule: one path component, the ends of base and extension trimmed to letters and
  // digits, "download" for an empty base, and a number added until neither a file nor an entry
  // uses the name (report.pdf, report2.pdf, ...).
  std::string extractValidFilename(const std::string& base, const std::string& ext, bool forTemp);
  bool PathExistInDownloadingItem(const std::string& path, bool forTemp);
  // Reduces a name to its last path component; empty for "", "." and "..".
  static std::string singleComponent(const std::string& name);
  static std::string documentsFolder();
  // The private folder of partial files (made 0700 when missing).
  static std::string temporaryFolder();
  // Empty when the folder of partial files is ours alone (made so when needed), else why not.
  static std::string privateFolderProblem();

  // HttpRequestDelegate / HttpProgressDelegate.
  bool respondsToSelector(std::string_view selector) const override;
  void requestStarted(HttpRequest* request) override;
  void requestRedirected(HttpRequest* request) override;
  void requestRedirectedToURL(HttpRequest* request, kit::URL* newURL) override;
  void requestFinished(HttpRequest* request) override;
  void requestFailed(HttpRequest* request) override;
  void requestDidReceiveBytes(HttpRequest* request, int64_t bytes) override;
  void setProgress(float) override {}

  // Cancels every request, forgets the list and reads it again on next use.
  void resetForTesting();
  // What hands a new request to the engine (startAsynchronous by default); tests that must not
  // reach the network hold requests back with it.
  void setRequestStarterForTesting(std::function<void(HttpRequest&)> starter);
  // The request running for an entry, or null.
  HttpRequest* requestOfItem(long index);

  std::string className() const override { return "VeskDownloadManager"; }

 private:
  VeskDownloadManager();
  ~VeskDownloadManager() override;

  kit::MutableDictionary* entryAt(long index);
  void loadList();
  void save();
  kit::Ref<HttpRequest> makeRequest(kit::MutableDictionary* entry);
  void track(kit::MutableDictionary* entry, kit::Ref<HttpRequest> request);
  void launch(HttpRequest& request);
  void untrack(kit::MutableDictionary* entry);
  kit::MutableDictionary* entryOfRequest(HttpRequest* request);
  void refreshCell(kit::MutableDictionary* entry);
  void _updateCell(VeskDownloadTableViewCell* cell, kit::MutableDictionary* entry);
  void fail(kit::MutableDictionary* entry, const std::string& reason);
  // Moves the finished file of an entry into the documents folder; false when that failed.
  bool moveIntoPlace(kit::MutableDictionary* entry, const std::string& from);
  void deleteWhenStopped(kit::Ref<HttpRequest> request, std::vector<std::string> paths, int attempt);

  kit::Ref<kit::MutableArray> list_;
  std::map<HttpRequest*, kit::Ref<kit::MutableDictionary>> request_entry_;
  std::map<const kit::Object*, kit::Ref<HttpRequest>> entry_request_;
  std::map<const kit::Object*, VeskDownloadTableViewCell*> entry_cell_;
  std::map<const kit::Object*, std::string> failures_;
  // Partial files of removed downloads that are still to be deleted: their names stay taken, so
  // no newer download gets a file that the deletion would then remove.
  std::map<std::string, int> pendingDeletions_;
  std::vector<std::string> downloadableExt_;
  std::function<void(HttpRequest&)> starter_;
};

}  // namespace tolva
