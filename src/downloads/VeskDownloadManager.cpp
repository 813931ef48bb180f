#include "downloads/VeskDownloadManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>

#include "downloads/VeskDownloadCellText.h"
#include "downloads/VeskDownloadFiles.h"
#include "downloads/VeskDownloadTableViewCell.h"
#include "http/HttpRequest.h"
#include "kit/foundation/Bundle.h"
#include "kit/foundation/FileManager.h"
#include "kit/foundation/Format.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/String.h"
#include "kit/foundation/URLEscaping.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Button.h"
#include "kit/ui/Label.h"
#include "kit/ui/ProgressView.h"

namespace tolva {

using kit::MutableDictionary;
using kit::Ref;

namespace {

std::string stringOf(const kit::Dictionary* entry, const char* key) {
  auto* s = entry ? entry->get<kit::String>(key) : nullptr;
  return s ? s->str() : std::string();
}

int64_t integerOf(const kit::Dictionary* entry, const char* key, int64_t fallback = 0) {
  auto* n = entry ? entry->get<kit::Number>(key) : nullptr;
  return n ? n->longLongValue() : fallback;
}

int statusOf(const kit::Dictionary* entry) {
  return static_cast<int>(integerOf(entry, "status", DownloadStatusFailed));
}

void setInteger(MutableDictionary* entry, const char* key, int64_t value) {
  entry->setObject(kit::Number::numberWithLongLong(value), key);
}

void setStatus(MutableDictionary* entry, int status) {
  entry->setObject(kit::Number::numberWithInt(status), "status");
}

// Whether the partial file holds an encoded (gzip) answer, which is inflated only at its end.
bool isEncoded(const kit::Dictionary* entry) {
  auto* n = entry->get<kit::Number>("encoded");
  return n && n->boolValue();
}

bool isAlnum(unsigned char c) { return std::isalnum(c) || c >= 0x80; }

// Trims everything but letters and digits (any non-ASCII character counts as a letter) from both ends.
std::string trimToAlnum(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && !isAlnum(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && !isAlnum(static_cast<unsigned char>(text[e - 1]))) --e;
  std::string out;
  for (size_t i = b; i < e; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    out += (c < 0x20 || c == 0x7f) ? '_' : static_cast<char>(c);
  }
  return out;
}

// Cuts a name to a length every file system takes, at a character boundary.
std::string limitLength(std::string text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text;
}

void splitName(const std::string& name, std::string* base, std::string* ext) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    *base = name;
    ext->clear();
  } else {
    *base = name.substr(0, dot);
    *ext = name.substr(dot + 1);
  }
}

// Only files in our own two folders are ever touched: a stored path elsewhere is not ours.
bool isInFolder(const std::string& path, const std::string& folder) {
  if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0 || path[folder.size()] != '/') {
    return false;
  }
  const std::string name = path.substr(folder.size() + 1);
  return name.find('/') == std::string::npos && name != "." && name != "..";
}

std::string parentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string lastComponent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The engine writes the finished file here, in the private folder; the manager then moves it
// into the documents folder without replacing anything. No partial name ends in "~".
std::string finishedPathOf(const std::string& temporaryPath) { return temporaryPath + "~"; }

}  // namespace

// ---- Life

VeskDownloadManager* VeskDownloadManager::sharedInstance() {
  static VeskDownloadManager* instance = [] {
    auto* m = new VeskDownloadManager();
    m->retain();  // kept for the life of the process
    return m;
  }();
  return instance;
}

VeskDownloadManager::VeskDownloadManager() {
  const std::string path = kit::Bundle::mainBundle()->pathForResource("download_extensions", "plist");
  if (!path.empty()) {
    Ref<kit::Object> read = kit::PropertyList::readFromFile(path);
    if (auto* a = dynamic_cast<kit::Array*>(read.get())) {
      for (size_t i = 0; i < a->count(); ++i) {
        if (auto* s = a->get<kit::String>(i)) downloadableExt_.push_back(s->str());
      }
    }
  }
}

VeskDownloadManager::~VeskDownloadManager() { resetForTesting(); }

void VeskDownloadManager::resetForTesting() {
  for (auto& [entry, request] : entry_request_) request->clearDelegatesAndCancel();
  request_entry_.clear();
  entry_request_.clear();
  for (auto& [entry, cell] : entry_cell_) cell->setManager(nullptr);
  entry_cell_.clear();
  failures_.clear();
  pendingDeletions_.clear();
  list_ = nullptr;
}

void VeskDownloadManager::setRequestStarterForTesting(std::function<void(HttpRequest&)> starter) {
  starter_ = std::move(starter);
}

std::string VeskDownloadManager::documentsFolder() {
  const std::string folder = kit::Paths::documentsDirectory();
  if (!kit::FileManager::isDirectory(folder)) kit::FileManager::createDirectory(folder);
  return folder;
}

std::string VeskDownloadManager::temporaryFolder() {
  const std::string folder = kit::Paths::temporaryDirectory() + "/Downloads";
  VeskDownloadFiles::makePrivateFolder(folder);
  return folder;
}

std::string VeskDownloadManager::privateFolderProblem() {
  const std::string folder = kit::Paths::temporaryDirectory() + "/Downloads";
  if (VeskDownloadFiles::makePrivateFolder(folder)) return {};
  return kit::format("The folder for partial downloads (%@) is not a private folder of this user.", folder);
}

// ---- The list

kit::MutableArray* VeskDownloadManager::list() {
  if (!list_) loadList();
  return list_.get();
}

long VeskDownloadManager::count() { return static_cast<long>(list()->count()); }

MutableDictionary* VeskDownloadManager::entryAt(long index) {
  kit::MutableArray* l = list();
  if (index < 0 || static_cast<size_t>(index) >= l->count()) return nullptr;
  return l->get<MutableDictionary>(static_cast<size_t>(index));
}

void VeskDownloadManager::loadList() {
  list_ = kit::MutableArray::array();
  Ref<kit::Array> stored = kit::UserDefaults::standardUserDefaults().arrayForKey(kDefaultsKey);
  if (!stored) return;
  // A deep copy whose containers are mutable.
  Ref<kit::Data> xml = kit::PropertyList::write(stored.get());
  Ref<kit::Object> copy = xml ? kit::PropertyList::read(xml->view(), kit::PropertyList::Options::MutableContainers)
                              : nullptr;
  auto* entries = dynamic_cast<kit::Array*>(copy.get());
  if (!entries) return;
  const std::string documents = documentsFolder();
  const std::string temporary = temporaryFolder();
  for (size_t i = 0; i < entries->count(); ++i) {
    auto* entry = entries->get<MutableDictionary>(i);
    // What another program left under the key is skipped, never trusted with a path. A stored
    // path is taken by its file name only, in today's folders: after the data root moved, the
    // entry is found again there.
    if (!entry || stringOf(entry, "url").empty()) continue;
    const std::string name = singleComponent(stringOf(entry, "filePath"));
    if (name.empty()) continue;
    entry->setObject(kit::str(documents + "/" + name), "filePath");
    const std::string tempName = singleComponent(stringOf(entry, "temporaryPath"));
    entry->setObject(kit::str(tempName.empty() ? std::string() : temporary + "/" + tempName), "temporaryPath");
    const int status = statusOf(entry);
    if (status == DownloadStatusDownloading || status == DownloadStatusPaused || status == DownloadStatusQueued) {
      const std::string temp = stringOf(entry, "temporaryPath");
      const int64_t size = temp.empty() ? 0 : static_cast<int64_t>(kit::FileManager::fileSize(temp).value_or(0));
      setInteger(entry, "received", size);
      const int64_t expected = integerOf(entry, "content_size", -1);
      setStatus(entry, DownloadStatusPaused);
      // The partial file of an encoded answer is the encoded stream, never the finished file.
      if (!isEncoded(entry) && expected >= 0 && size >= expected && !temp.empty() && kit::FileManager::fileExists(temp)) {
        // Everything arrived before the program ended: the file goes into place now.
        if (moveIntoPlace(entry, temp)) setStatus(entry, DownloadStatusCompleted);
      } else if (!temp.empty() && kit::FileManager::fileExists(finishedPathOf(temp))) {
        if (moveIntoPlace(entry, finishedPathOf(temp))) setStatus(entry, DownloadStatusCompleted);
      }
    }
    list_->addObject(Ref<kit::Object>(entry));
  }
}

void VeskDownloadManager::save() {
  kit::UserDefaults& defaults = kit::UserDefaults::standardUserDefaults();
  defaults.setObject(list(), kDefaultsKey);
  defaults.synchronize();
}

// ---- Names

std::string VeskDownloadManager::singleComponent(const std::string& name) {
  std::string last = lastComponent(name);
  if (last == "." || last == "..") return {};
  return last;
}

bool VeskDownloadManager::PathExistInDownloadingItem(const std::string& path, bool forTemp) {
  kit::MutableArray* l = list();
  for (size_t i = 0; i < l->count(); ++i) {
    if (stringOf(l->get<kit::Dictionary>(i), forTemp ? "temporaryPath" : "filePath") == path) return true;
  }
  return false;
}

std::string VeskDownloadManager::extractValidFilename(const std::string& base, const std::string& ext, bool forTemp) {
  std::string b = limitLength(trimToAlnum(singleComponent(base)), 200);
  if (b.empty()) b = "download";
  const std::string e = limitLength(trimToAlnum(singleComponent(ext)), 40);
  const std::string suffix = e.empty() ? std::string() : "." + e;
  const std::string folder = forTemp ? temporaryFolder() : documentsFolder();
  std::string candidate = folder + "/" + b + suffix;
  for (long n = 2; kit::FileManager::fileExists(candidate) || VeskDownloadFiles::isSymbolicLink(candidate) ||
                   PathExistInDownloadingItem(candidate, forTemp) || pendingDeletions_.count(candidate);
       ++n) {
    candidate = folder + "/" + b + std::to_string(n) + suffix;
  }
  return candidate;
}

// ---- Starting, pausing, resuming

long VeskDownloadManager::start(const std::string& url) { return start(url, std::nullopt); }

long VeskDownloadManager::start(const std::string& urlString, const std::optional<std::string>& fileName) {
  Ref<kit::URL> url = kit::URL::URLWithString(urlString);
  const bool web = url && (url->schemeIs("http") || url->schemeIs("https"));
  std::string base, ext;
  // A name from the URL is its decoded last component: "%2F" is a slash, and only what follows
  // the last slash is kept.
  const std::string given = fileName ? singleComponent(*fileName) : std::string();
  const std::string fromURL = url ? singleComponent(url->lastPathComponent()) : std::string();
  splitName(given.empty() ? fromURL : given, &base, &ext);
  if (!given.empty() && ext.empty()) {
    // A given name without an extension takes the address's: "mine" for report.pdf is mine.pdf.
    std::string urlBase;
    splitName(fromURL, &urlBase, &ext);
  }
  if (given.empty() && fromURL.empty() && url) base = url->lowercaseHost();

  auto entry = MutableDictionary::dictionary();
  entry->setObject(kit::str(urlString), "url");
  entry->setObject(kit::str(extractValidFilename(base, ext, false)), "filePath");
  entry->setObject(kit::Number::numberWithBool(fileName.has_value() && !given.empty()), "filePathFixed");
  setStatus(entry.get(), DownloadStatusQueued);
  setInteger(entry.get(), "content_size", -1);
  setInteger(entry.get(), "received", 0);
  const std::string temp = extractValidFilename(base, ext, true);
  entry->setObject(kit::str(temp), "temporaryPath");
  list()->addObject(entry);
  const long index = count() - 1;

  // The partial file is made now, ours alone: a name someone else put there is never followed.
  const std::string folderProblem = web ? privateFolderProblem() : std::string();
  if (!web || !folderProblem.empty() || !VeskDownloadFiles::createExclusive(temp)) {
    fail(entry.get(), !web                     ? "The address is not a web URL."
                      : !folderProblem.empty() ? folderProblem
                                               : "The partial file could not be created.");
    save();
    return index;
  }
  Ref<HttpRequest> request = makeRequest(entry.get());
  track(entry.get(), request);
  save();
  launch(*request);
  return index;
}

Ref<HttpRequest> VeskDownloadManager::makeRequest(MutableDictionary* entry) {
  Ref<HttpRequest> request = HttpRequest::requestWithURL(kit::URL::URLWithString(stringOf(entry, "url")));
  const std::string temp = stringOf(entry, "temporaryPath");
  request->setDownloadDestinationPath(finishedPathOf(temp));
  request->setTemporaryFileDownloadPath(temp);
  request->setDownloadProgressDelegate(this);
  request->setDelegate(this);
  request->setShouldContinueWhenAppEntersBackground(true);
  return request;
}

void VeskDownloadManager::track(MutableDictionary* entry, Ref<HttpRequest> request) {
  request_entry_[request.get()] = Ref<MutableDictionary>(entry);
  entry_request_[entry] = std::move(request);
}

void VeskDownloadManager::untrack(MutableDictionary* entry) {
  auto it = entry_request_.find(entry);
  if (it == entry_request_.end()) return;
  request_entry_.erase(it->second.get());
  entry_request_.erase(it);
}

MutableDictionary* VeskDownloadManager::entryOfRequest(HttpRequest* request) {
  auto it = request_entry_.find(request);
  return it == request_entry_.end() ? nullptr : it->second.get();
}

HttpRequest* VeskDownloadManager::requestOfItem(long index) {
  MutableDictionary* entry = entryAt(index);
  auto it = entry ? entry_request_.find(entry) : entry_request_.end();
  return it == entry_request_.end() ? nullptr : it->second.get();
}

void VeskDownloadManager::pause(long index) {
  MutableDictionary* entry = entryAt(index);
  if (!entry) return;
  const int status = statusOf(entry);
  if (status != DownloadStatusDownloading && status != DownloadStatusQueued) return;
  auto it = entry_request_.find(entry);
  if (it != entry_request_.end()) {
    Ref<HttpRequest> request = it->second;
    untrack(entry);
    // Nothing more of this request reaches the manager; the partial file stays for a resume.
    request->clearDelegatesAndCancel();
  }
  setStatus(entry, DownloadStatusPaused);
  save();
  refreshCell(entry);
}

void VeskDownloadManager::resume(long index) {
  MutableDictionary* entry = entryAt(index);
  if (!entry) return;
  const int status = statusOf(entry);
  if (status != DownloadStatusPaused && status != DownloadStatusFailed) return;
  // A second click while a request is on its way starts nothing more.
  if (entry_request_.count(entry)) return;
  const std::string temp = stringOf(entry, "temporaryPath");
  Ref<kit::URL> url = kit::URL::URLWithString(stringOf(entry, "url"));
  const std::string folderProblem = privateFolderProblem();
  if (!folderProblem.empty()) {
    fail(entry, folderProblem);
    save();
    return;
  }
  if (temp.empty() || !url || !VeskDownloadFiles::prepareForResume(temp)) {
    fail(entry, "The download cannot be resumed.");
    save();
    return;
  }
  if (isEncoded(entry)) {
    // A range of an encoded answer may come back encoded otherwise: such a download starts again.
    if (::truncate(temp.c_str(), 0) != 0) {
      fail(entry, "The download cannot be resumed.");
      save();
      return;
    }
    entry->removeObjectForKey("encoded");
    setInteger(entry, "received", 0);
  }
  failures_.erase(entry);
  Ref<HttpRequest> request = makeRequest(entry);
  track(entry, request);
  launch(*request);
}

void VeskDownloadManager::launch(HttpRequest& request) {
  if (starter_) starter_(request);
  else request.startAsynchronous();
}

// ---- Reading entries

int VeskDownloadManager::state(long index) {
  MutableDictionary* entry = entryAt(index);
  return entry ? statusOf(entry) : DownloadStatusFailed;
}

std::string VeskDownloadManager::pathOfItem(long index) { return stringOf(entryAt(index), "filePath"); }
std::string VeskDownloadManager::urlOfItem(long index) { return stringOf(entryAt(index), "url"); }
bool VeskDownloadManager::completedItem(long index) { return entryAt(index) && state(index) == DownloadStatusCompleted; }

std::string VeskDownloadManager::failureTextOfItem(long index) {
  MutableDictionary* entry = entryAt(index);
  if (!entry || statusOf(entry) != DownloadStatusFailed) return {};
  auto it = failures_.find(entry);
  return it == failures_.end() ? std::string() : it->second;
}

void VeskDownloadManager::updateFilePath(const std::string& path, long index) {
  MutableDictionary* entry = entryAt(index);
  if (!entry) return;
  entry->setObject(kit::str(path), "filePath");
  save();
}

int VeskDownloadManager::renameItem(long index, const std::string& newName) {
  MutableDictionary* entry = entryAt(index);
  if (!entry) return EINVAL;
  const std::string name = newName.find('/') == std::string::npos ? singleComponent(newName) : std::string();
  if (name.empty()) return EINVAL;
  const std::string from = stringOf(entry, "filePath");
  const std::string to = parentOf(from) + "/" + limitLength(name, 240);
  if (to == from) return 0;
  if (PathExistInDownloadingItem(to, false)) return EEXIST;
  const int error = VeskDownloadFiles::moveWithoutReplacing(from, to);
  if (error != 0) return error;
  updateFilePath(to, index);
  return 0;
}

// ---- Removing

void VeskDownloadManager::removeWithoutSync(long index) {
  Ref<MutableDictionary> entry(entryAt(index));
  if (!entry) return;
  Ref<HttpRequest> request;
  auto it = entry_request_.find(entry.get());
  if (it != entry_request_.end()) {
    request = it->second;
    untrack(entry.get());
    request->clearDelegatesAndCancel();
  }
  const std::string temp = stringOf(entry.get(), "temporaryPath");
  if (isInFolder(temp, temporaryFolder())) {
    const std::vector<std::string> paths{temp, finishedPathOf(temp)};
    for (const std::string& p : paths) ++pendingDeletions_[p];
    deleteWhenStopped(request, paths, 0);
  }
  // A file at the path of an unfinished entry is not ours to delete.
  const std::string path = stringOf(entry.get(), "filePath");
  if (statusOf(entry.get()) == DownloadStatusCompleted && isInFolder(path, documentsFolder())) ::unlink(path.c_str());
  if (auto c = entry_cell_.find(entry.get()); c != entry_cell_.end()) {
    c->second->setManager(nullptr);
    entry_cell_.erase(c);
  }
  failures_.erase(entry.get());
  list()->removeObjectAtIndex(static_cast<size_t>(index));
}

void VeskDownloadManager::deleteWhenStopped(Ref<HttpRequest> request, std::vector<std::string> paths, int attempt) {
  // A cancelled request may still be opening its file on its own thread: the files go once it
  // has stopped, so nothing makes them again afterwards.
  const bool stopped = !request || request->isFinished() || (request->isCancelled() && !request->isExecuting());
  for (const std::string& path : paths) ::unlink(path.c_str());
  if (stopped || attempt >= 100) {
    // Only now may a new download take these names.
    for (const std::string& path : paths) {
      if (auto it = pendingDeletions_.find(path); it != pendingDeletions_.end() && --it->second <= 0) {
        pendingDeletions_.erase(it);
      }
    }
    return;
  }
  kit::RunLoop::main().performAfterDelay(this, "deleteWhenStopped", nullptr, 0.1,
                                         [this, request, paths, attempt] {
                                           deleteWhenStopped(request, paths, attempt + 1);
                                         });
}

void VeskDownloadManager::remove(long index) {
  if (!entryAt(index)) return;
  removeWithoutSync(index);
  save();
}

void VeskDownloadManager::removeAllFailed() {
  for (long i = count() - 1; i >= 0; --i) {
    if (state(i) == DownloadStatusFailed) removeWithoutSync(i);
  }
  save();
}

// ---- Cells

void VeskDownloadManager::connectToTableViewCell(long index, VeskDownloadTableViewCell* cell) {
  MutableDictionary* entry = entryAt(index);
  if (!entry) return;
  auto it = entry_cell_.find(entry);
  if (cell && it != entry_cell_.end() && it->second == cell) return;
  if (!cell) {
    if (it != entry_cell_.end()) {
      it->second->setManager(nullptr);
      entry_cell_.erase(it);
    }
    return;
  }
  // A cell shows one entry at a time.
  disconnectTableViewCell(cell);
  entry_cell_[entry] = cell;
  cell->setManager(this);
  cell->setCurrent(integerOf(entry, "received"));
  cell->setTotal(integerOf(entry, "content_size", -1));
  _updateCell(cell, entry);
}

void VeskDownloadManager::disconnectTableViewCell(VeskDownloadTableViewCell* cell) {
  for (auto it = entry_cell_.begin(); it != entry_cell_.end(); ++it) {
    if (it->second == cell) {
      entry_cell_.erase(it);
      cell->setManager(nullptr);
      return;
    }
  }
}

void VeskDownloadManager::refreshCell(MutableDictionary* entry) {
  auto it = entry_cell_.find(entry);
  if (it != entry_cell_.end()) _updateCell(it->second, entry);
}

void VeskDownloadManager::_updateCell(VeskDownloadTableViewCell* cell, MutableDictionary* entry) {
  const int status = statusOf(entry);
  VeskDownloadCellText text = VeskDownloadCellText::forEntry(
      status, cell->total(), cell->current(), stringOf(entry, "url"), failures_.count(entry) ? failures_[entry] : "");
  if (cell->filename()) cell->filename()->setText(lastComponent(stringOf(entry, "filePath")));
  if (!text.known) return;
  if (cell->info()) cell->info()->setText(text.info);
  if (cell->pauseResume()) {
    cell->pauseResume()->setEnabled(text.buttonEnabled);
    cell->pauseResume()->setSelected(text.buttonSelected);
  }
  if (cell->progress() && text.progress) cell->progress()->setProgress(*text.progress);
}

// ---- Engine reports

bool VeskDownloadManager::respondsToSelector(std::string_view selector) const {
  return selector == HttpRequestDelegate::kRequestStarted || selector == HttpRequestDelegate::kRequestRedirected ||
         selector == HttpRequestDelegate::kRequestFinished || selector == HttpRequestDelegate::kRequestFailed ||
         selector == HttpProgressDelegate::kRequestDidReceiveBytes || selector == HttpProgressDelegate::kSetProgress;
}

void VeskDownloadManager::requestStarted(HttpRequest* request) {
  MutableDictionary* entry = entryOfRequest(request);
  if (!entry) return;
  setStatus(entry, DownloadStatusDownloading);
  save();
  refreshCell(entry);
}

void VeskDownloadManager::requestDidReceiveBytes(HttpRequest* request, int64_t bytes) {
  MutableDictionary* entry = entryOfRequest(request);
  if (!entry) return;
  int64_t total = static_cast<int64_t>(request->contentLength() + request->partialDownloadSize());
  if (total == 0 && bytes > 0) total = -1;
  // The expected size and the encoding are saved once known: after a crash they tell a complete
  // partial file.
  const bool encoded = request->isResponseCompressed();
  const bool changed = integerOf(entry, "content_size", -1) != total || isEncoded(entry) != encoded;
  setInteger(entry, "content_size", total);
  if (encoded) entry->setObject(kit::Number::numberWithBool(true), "encoded");
  else entry->removeObjectForKey("encoded");
  if (changed) save();
  const int64_t current = static_cast<int64_t>(request->totalBytesRead() + request->partialDownloadSize());
  setInteger(entry, "received", current);
  auto it = entry_cell_.find(entry);
  if (it == entry_cell_.end()) return;
  it->second->setTotal(total);
  it->second->setCurrent(current);
  _updateCell(it->second, entry);
}

void VeskDownloadManager::requestRedirected(HttpRequest* request) {
  if (Ref<kit::URL> next = request->redirectURL()) requestRedirectedToURL(request, next.get());
}

void VeskDownloadManager::requestRedirectedToURL(HttpRequest* request, kit::URL* newURL) {
  MutableDictionary* entry = entryOfRequest(request);
  if (!entry || !newURL) return;
  auto* fixed = entry->get<kit::Number>("filePathFixed");
  if (!(fixed && fixed->boolValue())) {
    std::string base, ext;
    const std::string fromURL = singleComponent(newURL->lastPathComponent());
    splitName(fromURL, &base, &ext);
    // As for a new download: an address without a name is named by its host.
    if (fromURL.empty()) base = newURL->lowercaseHost();
    // The old name is given up first, so the new one may be the same.
    entry->setObject(kit::str(""), "filePath");
    entry->setObject(kit::str(extractValidFilename(base, ext, false)), "filePath");
  }
  entry->setObject(kit::str(newURL->absoluteString()), "url");
  refreshCell(entry);
}

void VeskDownloadManager::requestFinished(HttpRequest* request) {
  MutableDictionary* entry = entryOfRequest(request);
  if (!entry) return;
  Ref<HttpRequest> keep(request);
  untrack(entry);
  if (statusOf(entry) != DownloadStatusDownloading && statusOf(entry) != DownloadStatusQueued) return;
  const int code = request->responseStatusCode();
  const std::string finished = request->downloadDestinationPath();
  if (code < 200 || code >= 300) {
    // An error page is no download; what is on disk stays for a later resume.
    fail(entry, kit::format("HTTP %d", code));
  } else if (!moveIntoPlace(entry, finished)) {
    fail(entry, "The file could not be moved into the documents folder.");
  } else {
    setStatus(entry, DownloadStatusCompleted);
    const int64_t size = static_cast<int64_t>(request->totalBytesRead() + request->partialDownloadSize());
    setInteger(entry, "received", size);
    setInteger(entry, "content_size", size);
    if (auto it = entry_cell_.find(entry); it != entry_cell_.end()) {
      it->second->setTotal(size);
      it->second->setCurrent(size);
    }
    refreshCell(entry);
  }
  save();
}

void VeskDownloadManager::requestFailed(HttpRequest* request) {
  MutableDictionary* entry = entryOfRequest(request);
  if (!entry) return;
  Ref<HttpRequest> keep(request);
  untrack(entry);
  const int status = statusOf(entry);
  if (status != DownloadStatusDownloading && status != DownloadStatusQueued) return;
  Ref<kit::Error> error = request->error();
  fail(entry, error ? error->localizedDescription() : std::string());
  save();
}

void VeskDownloadManager::fail(MutableDictionary* entry, const std::string& reason) {
  setStatus(entry, DownloadStatusFailed);
  failures_[entry] = reason;
  refreshCell(entry);
}

bool VeskDownloadManager::moveIntoPlace(MutableDictionary* entry, const std::string& from) {
  std::string target = stringOf(entry, "filePath");
  if (!kit::FileManager::fileExists(from)) return false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int error = VeskDownloadFiles::moveWithoutReplacing(from, target);
    if (error == 0) {
      entry->setObject(kit::str(target), "filePath");
      return true;
    }
    if (error != EEXIST) return false;
    // Someone made a file of that name meanwhile: the next free name.
    std::string base, ext;
    splitName(lastComponent(target), &base, &ext);
    entry->setObject(kit::str(""), "filePath");
    target = extractValidFilename(base, ext, false);
    entry->setObject(kit::str(target), "filePath");
  }
  return false;
}

bool VeskDownloadManager::checkDownloadable(const kit::URL* url) {
  if (!url) return false;
  std::string ext = url->pathExtension();
  if (ext.empty()) return false;
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return std::find(downloadableExt_.begin(), downloadableExt_.end(), ext) != downloadableExt_.end();
}

}  // namespace tolva
