// The page view's tools: text size, the reader form, translation and the
// dictionary, the entries of the selected-text menu, printing, the
// long-press menu on links and images with saving and copying of images,
// and the handler of every menu the page shows.

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "data/VeskBookmarkAddTableViewController.h"
#include "data/VeskBookmarkDatabase.h"
#include "downloads/VeskDownloadManager.h"
#include "kit/foundation/URL.h"
#include "kit/foundation/URLEscaping.h"
#include "kit/foundation/UserDefaults.h"
#include "kit/ui/Application.h"
#include "kit/ui/Device.h"
#include "kit/ui/NavigationController.h"
#include "kit/ui/Pasteboard.h"
#include "kit/ui/PhotoAlbum.h"
#include "kit/ui/PopoverController.h"
#include "common/LocalizedText.h"
#include "shell/PreferredLanguages.h"
#include "shell/UIWebViewExpand.h"
#include "shell/VeskContextMenuTarget.h"
#include "shell/VeskImageFetch.h"
#include "shell/VeskInfoBoxView.h"
#include "common/VeskMiscObject.h"
#include "shell/VeskServiceAddresses.h"
#include "shell/VeskWebAppDelegate.h"
#include "share/core/ShareConfiguration.h"
#include "share/core/ShareItem.h"
#include "share/ui/ShareActionSheet.h"
#include "shell/VeskWebView.h"
#include "shell/VeskWebViewController.h"

namespace tolva {
namespace {

std::string text(const char* key) { return LocalizedText::localized(key); }

// Fills the "%@" places of a built-in format in order; nothing else in it is
// read as a format.
std::string fill(std::string format, const std::vector<std::string>& values) {
  size_t from = 0;
  for (const std::string& v : values) {
    size_t at = format.find("%@", from);
    if (at == std::string::npos) break;
    format.replace(at, 2, v);
    from = at + v.size();
  }
  return format;
}

std::string firstLanguage() {
  std::vector<std::string> languages = PreferredLanguages::list();
  return languages.empty() ? std::string() : languages.front();
}

// A document point as the script's integer argument: truncated, and kept
// in range whatever the page reported.
long truncatedCoordinate(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<long>(std::fmax(-1e9, std::fmin(1e9, v)));
}

VeskWebViewController* mainScreenOf(const VeskWebView& page) {
  if (auto* shown = dynamic_cast<VeskWebViewController*>(page.viewController())) return shown;
  if (auto* app = dynamic_cast<VeskWebAppDelegate*>(kit::Application::sharedApplication()->delegate()))
    return app->viewController();
  return nullptr;
}

}  // namespace

// ---- Text size

void VeskWebView::onFontIncrease() {
  if (textFontSize_ < kMaxFontSize) textFontSize_ = std::min(textFontSize_ + kFontStep, kMaxFontSize);
  if (webView_) UIWebViewExpand::applyFontSize(*webView_, textFontSize_);
  if (delegate_) saveAsIdentifier(delegate_->getIdentifierForPersistentData(*this));
  _updateFontUI();
}

void VeskWebView::onFontDerease() {
  if (textFontSize_ > kMinFontSize) textFontSize_ = std::max(textFontSize_ - kFontStep, kMinFontSize);
  if (webView_) UIWebViewExpand::applyFontSize(*webView_, textFontSize_);
  if (delegate_) saveAsIdentifier(delegate_->getIdentifierForPersistentData(*this));
  _updateFontUI();
}

void VeskWebView::onFontReset() {
  textFontSize_ = 100;
  if (webView_) UIWebViewExpand::applyFontSize(*webView_, textFontSize_);
  if (delegate_) saveAsIdentifier(delegate_->getIdentifierForPersistentData(*this));
  _updateFontUI();
}

void VeskWebView::onFontClose() { setShowFontPopup(false); }

// A size restored from an older state may lie off the steps; the buttons
// still stop at the bounds.
void VeskWebView::_updateFontUI() {
  if (btnFontIncrease_) btnFontIncrease_->setEnabled(textFontSize_ < kMaxFontSize);
  if (btnFontDecrease_) btnFontDecrease_->setEnabled(textFontSize_ > kMinFontSize);
  if (btnFontReset_) btnFontReset_->setEnabled(textFontSize_ != 100);
}

// ---- Reader, translation, dictionary

std::string VeskWebView::readerScript() {
  using UIWebViewExpand::scriptStringLiteral;
  auto link = [](const std::string& href, const char* media) {
    return "(function(){var l=document.createElement('link');l.rel='stylesheet';l.type='text/css';l.href=" +
           scriptStringLiteral(href) + ";l.media='" + media + "';document.documentElement.appendChild(l);})();";
  };
  return "readConvertLinksToFootnotes=false;readStyle='style-newspaper';readSize='size-medium';"
         "readMargin='margin-wide';"
         "(function(){var s=document.createElement('script');s.type='text/javascript';s.src=" +
         scriptStringLiteral(VeskServiceAddresses::readerScriptURL() + "?x=") +
         "+Math.random();document.documentElement.appendChild(s);})();" +
         link(VeskServiceAddresses::readerScreenStyleURL(), "all") +
         link(VeskServiceAddresses::readerPrintStyleURL(), "print");
}

void VeskWebView::onReader() {
  webView()->stringByEvaluatingJavaScriptFromString(readerScript());
  performLater("postScreenShotUpdated", 8.0, [this] { postScreenShotUpdated(); });
}

std::string VeskWebView::pageTranslationURL(const std::string& pageURL, const std::string& language) {
  return fill(VeskServiceAddresses::pageTranslationFormat(),
              {kit::URLEscaping::escapeQueryValue(language), kit::URLEscaping::escapeQueryValue(pageURL)});
}

std::string VeskWebView::textTranslationURL(const std::string& words, const std::string& language) {
  return fill(VeskServiceAddresses::textTranslationFormat(),
              {kit::URLEscaping::escapeQueryValue(language), kit::URLEscaping::escapeQueryValue(words)});
}

std::string VeskWebView::dictionaryURL(const std::string& words) {
  return fill(LocalizedText::localized(VeskServiceAddresses::dictionaryFormat()),
              {kit::URLEscaping::escapeQueryValue(words)});
}

void VeskWebView::onTranslate() {
  std::string language = firstLanguage();
  if (language.empty()) return;
  std::string page = webView_ ? UIWebViewExpand::getLocation(*webView_) : std::string();
  if (page.empty()) page = location_;
  bookmarkUrlSelected(pageTranslationURL(page, language));
}

// ---- The selected-text menu

void VeskWebView::installSelectionMenuItems(kit::WebView& wv) {
  kit::WeakRef<VeskWebView> weak(this);
  auto item = [&weak](const char* title, void (VeskWebView::*run)()) {
    kit::WebView::SelectionMenuItem entry;
    entry.title = text(title);
    entry.isAvailable = [] { return VeskMiscObject::sharedInstance()->bUseSelectionSearch(); };
    entry.action = [weak, run] {
      if (kit::Ref<VeskWebView> page = weak.lock()) (page.get()->*run)();
    };
    return entry;
  };
  wv.setSelectionMenuItems({item("Search", &VeskWebView::onSearchOnNewTab),
                            item("Dictionary", &VeskWebView::onDictionaryOnNewTab),
                            item("Translate", &VeskWebView::onTranslateOnNewTab)});
}

bool VeskWebView::canPerformSelectionAction() {
  if (!VeskMiscObject::sharedInstance()->bUseSelectionSearch() || !webView_) return false;
  return !UIWebViewExpand::getSelectedText(*webView_).empty();
}

void VeskWebView::openLinkInNewTab(const std::string& url, bool selected) {
  if (delegate_ && delegate_->respondsTo(VeskWebViewDelegate::Optional::NeedToCreateNewTab)) {
    downloadable_url_.clear();
    delegate_->needToCreateNewTab(this, url, selected, privateMode_);
  }
}

void VeskWebView::onSearchOnNewTab() {
  if (!canPerformSelectionAction()) return;
  openLinkInNewTab(urlForSearchInCurrentSearchEngine(UIWebViewExpand::getSelectedText(*webView_)), true);
}

void VeskWebView::onDictionaryOnNewTab() {
  if (!canPerformSelectionAction()) return;
  openLinkInNewTab(dictionaryURL(UIWebViewExpand::getSelectedText(*webView_)), true);
}

void VeskWebView::onTranslateOnNewTab() {
  std::string language = firstLanguage();
  if (language.empty() || !canPerformSelectionAction()) return;
  openLinkInNewTab(textTranslationURL(UIWebViewExpand::getSelectedText(*webView_), language), true);
}

// ---- Printing, sharing, the download list

void VeskWebView::onPrint() {
  kit::WebView* wv = webView();
  if (!wv->canPrint()) {
    kit::Ref<kit::AlertView> alert(new kit::AlertView(
        "", text("Printing is not available in this version of iOS. Please upgrade to newest iOS."), nullptr,
        text("OK")));
    alert->show();
    return;
  }
  wv->print([](bool completed, kit::Error* error) {
    if (!completed && error)
      std::fprintf(stderr, "Printing could not complete because of error: %s\n", error->description().c_str());
  });
}

// The share sheet comes with the sharing screens; until then there is nothing to show.
// The share sheet for an item: shown in the page on the tablet, from a small
// rectangle at the press on the phone.
void VeskWebView::showShareSheet(ShareItem* item) {
  if (!item || !ShareConfiguration::isConfigured()) return;
  kit::Ref<ShareActionSheet> sheet = ShareActionSheet::actionSheetForItem(item);
  if (!sheet) return;
  if (kit::Device::currentDevice().isPad())
    sheet->showInView(this);
  else
    // From the page view's corner for the page, a link and an image alike: a
    // long press long past would be a stale place for the page's own sheet.
    sheet->showFromRect({0, 0, 10, 10}, this, true);
}

void VeskWebView::onShowShare() {
  kit::Ref<kit::URL> url = kit::URL::URLWithString(location_);
  if (!url) return;
  kit::Ref<ShareItem> item = ShareItem::URL(url, getTitle());
  showShareSheet(item.get());
}

// ---- The long-press menu

void VeskWebView::openContextualMenuAt(kit::Point documentPoint, kit::Point popupPoint) {
  contextMenuDocumentPoint_ = documentPoint;
  contextMenuPopupPoint_ = popupPoint;
  kit::WebView* wv = webView_.get();
  if (!wv) return;
  std::string answer = wv->stringByEvaluatingJavaScriptFromString(
      "getHTMLElementSrcAtPoint(" + std::to_string(truncatedCoordinate(documentPoint.x)) + "," +
      std::to_string(truncatedCoordinate(documentPoint.y)) + ");");
  VeskContextMenuTarget target = VeskContextMenuTarget::parse(answer);
  if (target.kind() == VeskContextMenuTarget::Kind::None) return;

  lastPressAndHeldLink_ = target.link();
  lastPressAndHeldLinkImageSrc_ = target.imageSource();
  lastPressAndHeldLinkWasSupposedToBeInNewPage_ = target.linkWantsNewPage();

  std::vector<const char*> keys;
  long tag = kTagLinkMenu;
  const std::vector<const char*> linkEntries = {"Open",      "Open in New Tab", "Open in Background Tab",
                                                "Copy Link", "Download File",   "Share this link ..."};
  switch (target.kind()) {
    case VeskContextMenuTarget::Kind::Link:
      keys = linkEntries;
      break;
    case VeskContextMenuTarget::Kind::LinkedImage:
      tag = kTagLinkedImageMenu;
      keys = linkEntries;
      keys.insert(keys.end(), {"Save Image", "Save Image (Download)", "Share this image ..."});
      break;
    default:
      tag = kTagImageMenu;
      keys = {"Save Image", "Copy", "Copy Link", "Save Image (Download)", "Share this image ..."};
      break;
  }
  std::vector<std::string> entries;
  for (const char* key : keys) entries.push_back(text(key));

  if (contextSheet_ && contextSheet_->isVisible()) contextSheet_->dismissWithClickedButtonIndex(-1, false);
  std::string cancel = kit::Device::currentDevice().isPad() ? std::string() : text("Cancel");
  contextSheet_ = kit::make<kit::ActionSheet>(target.title(), this, cancel, std::string(), entries);
  contextSheet_->setTag(tag);
  contextSheet_->showFromRect(kit::Rect(popupPoint.x, popupPoint.y, 1, 1), this, true);
}

// ---- Every menu's answer

void VeskWebView::actionSheetClickedButtonAtIndex(kit::ActionSheet& sheet, long index) {
  if (sheet.tag() == kTagSavePassword || sheet.tag() == kTagChangePassword) {
    passwordSheetClickedButtonAtIndex(sheet, index);
    return;
  }
  if (index < 0 || index >= sheet.numberOfButtons() || index == sheet.cancelButtonIndex()) return;
  kit::KeepAlive keepPage(this);
  const std::string entry = sheet.buttonTitleAtIndex(index);
  switch (sheet.tag()) {
    case kTagActionsMenu:
      actionsMenuChosen(entry);
      break;
    case kTagCommandMenu:
      commandMenuChosen(entry);
      break;
    case kTagLinkMenu:
    case kTagLinkedImageMenu:
    case kTagImageMenu:
      contextMenuChosen(sheet.tag(), entry);
      break;
    default:
      break;
  }
}

void VeskWebView::actionsMenuChosen(const std::string& entry) {
  if (entry == text("Add to Bookmark")) {
    kit::Ref<VeskBookmarkAddTableViewController> form(
        new VeskBookmarkAddTableViewController(title_ ? title_->text() : std::string(), location_));
    kit::Ref<kit::Array> path = VeskBookmarkDatabase::getSharedInstance()->currentPath();
    form->setSelectedPath(path.get());
    kit::Ref<kit::NavigationController> nav = kit::NavigationController::withRootViewController(form.get());
    form->setContentSizeForViewInPopover({320, 300});
    if (kit::Device::currentDevice().isPad()) {
      kit::Ref<kit::PopoverController> pop = kit::PopoverController::withContentViewController(nav.get());
      form->setPop(pop.get());
      kit::Point c = bounds().center();
      pop->presentPopoverFromRect(kit::Rect(c.x, c.y, 1, 1), this, 0, true);
    } else if (kit::ViewController* vc = viewController()) {
      vc->presentViewController(nav.get(), true);
    }
  } else if (entry == text("Open with Safari")) {
    kit::Application* app = kit::Application::sharedApplication();
    kit::Ref<kit::URL> url = kit::URL::URLWithString(location_);
    // The system refuses what it cannot open, and says so.
    if (url) app->openURLInSystem(url.get());
  } else if (entry == text("Share this page ...")) {
    onShowShare();
  } else if (entry == text("Set as Homepage")) {
    kit::UserDefaults::standardUserDefaults().setString(location_, "homepage");
    if (delegate_) delegate_->showInfoBox(text("Set as Homepage"), VeskInfoBoxView::sharedDoneIcon());
  } else if (entry == text("Print")) {
    onPrint();
  } else if (std::string language = firstLanguage();
             !language.empty() &&
             entry == LocalizedText::localizedFormat("Translate to %@",
                                                     {PreferredLanguages::displayNameInItself(language)})) {
    onTranslate();
  }
}

void VeskWebView::commandMenuChosen(const std::string& entry) {
  if (entry == text("Lock Rotation") || entry == text("Unlock Rotation")) {
    if (VeskWebViewController* main = mainScreenOf(*this)) main->setLockRotation(!main->lockRotation());
  } else if (entry == text("Adjust Font Size")) {
    setShowFontPopup(true);
  } else if (entry == text("Readability™")) {
    webView()->stringByEvaluatingJavaScriptFromString(readerScript());
  } else if (entry == text("Download Manager")) {
    showDownloadManager();
  } else if (entry == text("Settings")) {
    if (VeskWebViewController* main = mainScreenOf(*this)) main->onSettings();
  }
}

void VeskWebView::contextMenuChosen(long tag, const std::string& entry) {
  // What the entries act on is the link and the source as the page gave them.
  const std::string link = lastPressAndHeldLink_;
  const std::string source = lastPressAndHeldLinkImageSrc_;
  if (tag != kTagImageMenu) {
    // A new tab is asked of the strip directly, as the marker would upon
    // loading: a bare marker URL names no page the web view could load.
    if (entry == text("Open")) {
      if (lastPressAndHeldLinkWasSupposedToBeInNewPage_)
        openLinkInNewTab(link, true);
      else
        bookmarkUrlSelected(link);
      return;
    }
    if (entry == text("Open in New Tab") || entry == text("Open in Background Tab")) {
      openLinkInNewTab(link, entry == text("Open in New Tab"));
      return;
    }
    if (entry == text("Copy Link")) {
      kit::Pasteboard::generalPasteboard()->setString(link);
      return;
    }
    if (entry == text("Download File")) {
      VeskDownloadManager::sharedInstance()->start(link);
      return;
    }
    if (entry == text("Share this link ...")) {
      if (kit::Ref<kit::URL> url = kit::URL::URLWithString(link)) {
        kit::Ref<ShareItem> item = ShareItem::URL(url);
        showShareSheet(item.get());
      }
      return;
    }
  }
  if (entry == text("Save Image")) {
    saveImageOnBackground(source);
  } else if (entry == text("Copy") && tag == kTagImageMenu) {
    copyImageOnBackground(source);
  } else if (entry == text("Copy Link") && tag == kTagImageMenu) {
    kit::Pasteboard::generalPasteboard()->setString(source);
  } else if (entry == text("Save Image (Download)")) {
    if (source.empty())
      showImageFailure("Failed to save image.");
    else
      VeskDownloadManager::sharedInstance()->start(source);
  } else if (entry == text("Share this image ...")) {
    if (source.empty()) {
      showImageFailure("Failed to share image.");
      return;
    }
    kit::WeakRef<VeskWebView> weak(this);
    VeskImageFetch::fetch(source, [weak](kit::Ref<kit::Image> image) {
      kit::Ref<VeskWebView> page = weak.lock();
      if (!page) return;
      if (!image) {
        page->showImageFailure("Failed to share image.");
        return;
      }
      kit::Ref<ShareItem> item = ShareItem::image(image);
      page->showShareSheet(item.get());
    });
  }
}

// ---- Saving and copying images

void VeskWebView::showImageFailure(const char* key) {
  if (delegate_) delegate_->showInfoBox(text(key), nullptr);
}

void VeskWebView::saveImageOnBackground(const std::string& source) {
  if (source.empty()) {
    showImageFailure("Failed to save image.");
    return;
  }
  kit::WeakRef<VeskWebView> weak(this);
  VeskImageFetch::fetch(source, [weak](kit::Ref<kit::Image> image) {
    if (!image) {
      if (kit::Ref<VeskWebView> page = weak.lock()) page->imageDidFinishSaving(nullptr, nullptr);
      return;
    }
    kit::PhotoAlbum::writeImage(image, [weak, image](kit::Error* error) {
      if (kit::Ref<VeskWebView> page = weak.lock()) page->imageDidFinishSaving(error ? nullptr : image.get(), error);
    });
  });
}

// Anything short of a written picture is a failure: a fetch that gave no
// image reports no error, but nothing was saved either.
void VeskWebView::imageDidFinishSaving(kit::Image* image, kit::Error* error) {
  if (!image || error) {
    showImageFailure("Failed to save image.");
    return;
  }
  if (delegate_) delegate_->showInfoBox(text("Image saved successfully."), image);
}

void VeskWebView::copyImageOnBackground(const std::string& source) {
  if (source.empty()) {
    showImageFailure("Failed to copy image.");
    return;
  }
  kit::WeakRef<VeskWebView> weak(this);
  VeskImageFetch::fetch(source, [weak](kit::Ref<kit::Image> image) {
    kit::Ref<VeskWebView> page = weak.lock();
    if (image)
      kit::Pasteboard::generalPasteboard()->setImage(image);
    else if (page)
      page->showImageFailure("Failed to copy image.");
  });
}

}  // namespace tolva
