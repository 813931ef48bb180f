#include "shell/VeskTextSearchTableViewController.h"

#include <libxml/parser.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "common/LocalizedText.h"
#include "common/MyUIViewController.h"
#include "common/XMLSaxParse.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/URLEscaping.h"
#include "kit/net/HTTPURLResponse.h"
#include "kit/net/BackgroundWork.h"
#include "kit/net/URLConnection.h"
#include "kit/ui/Label.h"
#include "kit/ui/NavigationBar.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/Toolbar.h"
#include "shell/UIWebViewExpand.h"
#include "shell/VeskInfoBoxView.h"
#include "shell/VeskWebView.h"
#include "shell/VeskWebViewDelegate.h"

namespace tolva {
namespace {

std::mutex gServiceMutex;
std::string gServiceBase = "https://www.google.com";

constexpr size_t kMaximumAnswerBytes = 256 * 1024;
// Suggestions are worth nothing after a few seconds.
constexpr double kFetchTimeout = 5;

// Fetch threads are joined, never detached: one still running when the
// program exits must finish before exit tears down what it reports to.
class FetchThreads {
 public:
  static FetchThreads& shared() {
    static FetchThreads* threads = new FetchThreads();  // outlives static destruction
    return *threads;
  }
  void start(std::function<void()> work) {
    // Once the program is ending, nothing new is fetched.
    kit::BackgroundWork::Job job;
    if (!job) return;
    std::lock_guard<std::mutex> lock(mutex_);
    reapFinished();
    auto done = std::make_shared<std::atomic<bool>>(false);
    running_.push_back({std::thread([job = std::move(job), work = std::move(work), done]() mutable {
                          std::function<void()> fetch = std::move(work);
                          fetch();
                          done->store(true);
                        }),
                        done});
    if (!atExit_) {
      atExit_ = true;
      std::atexit([] { shared().joinAll(); });
    }
  }

 private:
  struct Running {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void reapFinished() {
    for (auto it = running_.begin(); it != running_.end();) {
      if (it->done->load()) {
        it->thread.join();
        it = running_.erase(it);
      } else {
        ++it;
      }
    }
  }
  void joinAll() {
    std::vector<Running> all;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      all.swap(running_);
    }
    for (Running& r : all) r.thread.join();
  }
  std::mutex mutex_;
  std::vector<Running> running_;
  bool atExit_ = false;
};

void startSuggestion(void* ctx, const xmlChar* local, const xmlChar*, const xmlChar*, int, const xmlChar**,
                     int attributeCount, int, const xmlChar** attributes) {
  if (xmlStrcmp(local, BAD_CAST "suggestion") != 0) return;
  auto* list = static_cast<std::vector<std::string>*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
  for (int i = 0; i < attributeCount; ++i) {
    const xmlChar** a = attributes + i * 5;
    if (a[1] == nullptr && xmlStrcmp(a[0], BAD_CAST "data") == 0) {
      list->emplace_back(reinterpret_cast<const char*>(a[3]), size_t(a[4] - a[3]));
      return;
    }
  }
}

}  // namespace

void VeskTextSearchTableViewController::setSuggestionServiceBase(std::string base) {
  std::lock_guard<std::mutex> lock(gServiceMutex);
  gServiceBase = std::move(base);
}

std::string VeskTextSearchTableViewController::suggestionServiceBase() {
  std::lock_guard<std::mutex> lock(gServiceMutex);
  return gServiceBase;
}

std::string VeskTextSearchTableViewController::suggestionURL(const std::string& text) {
  return suggestionServiceBase() + "/complete/search?output=toolbar&q=" + kit::URLEscaping::escapeUnreserved(text);
}

std::vector<std::string> VeskTextSearchTableViewController::parseSuggestions(std::string_view xml) {
  std::vector<std::string> list;
  // A broken answer shows nothing rather than half a list.
  if (!XMLSaxParse::parse(xml, {startSuggestion, nullptr, nullptr}, &list)) list.clear();
  return list;
}

VeskTextSearchTableViewController::VeskTextSearchTableViewController()
    : kit::TableViewController(kit::TableView::Style::Grouped) {}

VeskTextSearchTableViewController::~VeskTextSearchTableViewController() {
  kit::RunLoop::main().cancelPreviousPerformRequests(this);
}

void VeskTextSearchTableViewController::setSearchText(const std::string& text) {
  if (text == searchText_) return;
  searchText_ = text;
  kit::RunLoop& loop = kit::RunLoop::main();
  loop.cancelPreviousPerformRequests(this);
  kit::WeakRef<VeskTextSearchTableViewController> weak(this);
  loop.performAfterDelay(this, "delayedUpdate", nullptr, kDelay, [weak] {
    if (kit::Ref<VeskTextSearchTableViewController> self = weak.lock()) self->delayedUpdate();
  });
}

void VeskTextSearchTableViewController::delayedUpdate() {
  // One fetch at a time: a text typed meanwhile is fetched when it returns.
  if (fetching_) return;
  bgSearchSuggestion();
}

void VeskTextSearchTableViewController::bgSearchSuggestion() {
  fetching_ = true;
  const std::string text = searchText_;
  const std::string url = suggestionURL(text);
  kit::WeakRef<VeskTextSearchTableViewController> weak(this);
  // The worker never holds the controller: it hands its answer to the main
  // thread, which looks the controller up again.
  FetchThreads::shared().start([weak, text, url] {
    std::vector<std::string> list;
    bool ok = false;
    if (kit::Ref<kit::URL> target = kit::URL::URLWithString(url)) {
      kit::URLRequest request(target, kit::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData, kFetchTimeout);
      kit::Ref<kit::URLResponse> response;
      kit::Ref<kit::Error> error;
      kit::Ref<kit::Data> data = kit::BackgroundWork::sendSynchronousRequest(request, &response, &error);
      auto* http = dynamic_cast<kit::HTTPURLResponse*>(response.get());
      if (data && http && http->statusCode() == 200 && data->length() <= kMaximumAnswerBytes) {
        list = parseSuggestions(data->view());
        ok = true;
      }
    }
    kit::RunLoop::performOnMainThread([weak, text, list = std::move(list), ok]() mutable {
      if (kit::Ref<VeskTextSearchTableViewController> self = weak.lock())
        self->suggestionsArrived(text, std::move(list), ok);
    });
  });
}

void VeskTextSearchTableViewController::suggestionsArrived(const std::string& forText, std::vector<std::string> list,
                                                           bool ok) {
  fetching_ = false;
  if (forText != searchText_) {
    // Stale: the text changed while this was under way; ask again for the current one.
    bgSearchSuggestion();
    return;
  }
  // A failed fetch or a broken answer shows no suggestions, and says nothing.
  suggest_ = ok ? std::move(list) : std::vector<std::string>();
  if (kit::TableView* table = tableView()) table->reloadData();
}

void VeskTextSearchTableViewController::viewWillAppear(bool animated) {
  kit::TableViewController::viewWillAppear(animated);
  if (kit::NavigationController* nav = navigationController()) {
    nav->toolbar()->setTintColor(kit::Color::lightGrayColor());
    nav->navigationBar()->setTintColor(kit::Color::lightGrayColor());
  }
}

bool VeskTextSearchTableViewController::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) {
  return MyUIViewController::myShouldAutorotateToInterfaceOrientation(this, o);
}

int VeskTextSearchTableViewController::highlightedCount() const {
  kit::WebView* web = veskView_ ? veskView_->existingWebView() : nullptr;
  return web ? UIWebViewExpand::numberOfHighlightedOfString(*web) : 0;
}

long VeskTextSearchTableViewController::numberOfSectionsInTableView(kit::TableView&) {
  return searchText_.empty() ? 1 : 2;
}

long VeskTextSearchTableViewController::tableViewNumberOfRowsInSection(kit::TableView&, long section) {
  if (section == 0) return static_cast<long>(std::min(suggest_.size(), kMaximumSuggestions));
  return highlightedCount() > 0 ? 2 : 1;
}

std::string VeskTextSearchTableViewController::tableViewTitleForHeaderInSection(kit::TableView&, long section) {
  return section == 0 ? LocalizedText::localized("Suggestion") : std::string();
}

std::string VeskTextSearchTableViewController::tableViewTitleForFooterInSection(kit::TableView&, long section) {
  return section == 0 && !searchText_.empty() ? LocalizedText::localized("On This Page") : std::string();
}

kit::Ref<kit::TableViewCell> VeskTextSearchTableViewController::tableViewCellForRowAtIndexPath(
    kit::TableView& tableView, const kit::IndexPath& indexPath) {
  kit::Ref<kit::TableViewCell> cell = tableView.dequeueReusableCellWithIdentifier(kCellIdentifier);
  if (!cell) cell = kit::TableViewCell::cell(kit::TableViewCell::Style::Default, kCellIdentifier);
  std::string text;
  if (indexPath.section == 0) {
    if (indexPath.row >= 0 && size_t(indexPath.row) < suggest_.size()) text = suggest_[size_t(indexPath.row)];
  } else if (indexPath.row == 0) {
    text = LocalizedText::localizedFormat("Highlight \"%@\"", {searchText_});
  } else {
    text = LocalizedText::localized("Remove highlights");
  }
  cell->textLabel()->setText(text);
  return cell;
}

void VeskTextSearchTableViewController::tableViewDidSelectRowAtIndexPath(kit::TableView& tableView,
                                                                        const kit::IndexPath& indexPath) {
  kit::Ref<VeskTextSearchTableViewController> keep(this);
  kit::WebView* web = veskView_ ? veskView_->existingWebView() : nullptr;
  if (indexPath.section == 0) {
    if (indexPath.row < 0 || size_t(indexPath.row) >= suggest_.size()) return;
    const std::string chosen = suggest_[size_t(indexPath.row)];
    setSearchText(chosen);
    if (textField_) textField_->setText(chosen);
    if (veskView_) veskView_->searchInCurrentSearchEngine(chosen);
  } else if (indexPath.row == 0) {
    int found = web ? UIWebViewExpand::numberOfOccurencesOfString(*web, searchText_) : 0;
    if (found <= 0) {
      kit::Ref<kit::AlertView> alert(
          new kit::AlertView("", LocalizedText::localized("Not Found"), this, LocalizedText::localized("Cancel")));
      alert->show();
      tableView.deselectRowAtIndexPath(indexPath, true);
      return;
    }
    UIWebViewExpand::removeAllHighlights(*web);
    UIWebViewExpand::highlightAllOccurencesOfString(*web, searchText_);
    std::string message = LocalizedText::localized("Found %d item(s)");
    if (size_t at = message.find("%d"); at != std::string::npos) message.replace(at, 2, std::to_string(found));
    if (veskView_ && veskView_->delegate())
      veskView_->delegate()->showInfoBox(message, VeskInfoBoxView::sharedSearchIcon());
  } else {
    if (web) UIWebViewExpand::removeAllHighlights(*web);
  }
  closeList(tableView);
}

void VeskTextSearchTableViewController::closeList(kit::TableView& tableView) {
  if (textField_) textField_->resignFirstResponder();
  if (kit::Ref<kit::PopoverController> popover = pop_.lock())
    popover->dismissPopoverAnimated(true);
  else
    tableView.setHidden(true);
}

}  // namespace tolva
