// The page view's scripts and form passwords: the context script put into
// every page, and the offer to save (or change) a login read from a
// submitted form or given by an HTTP login.

#include <algorithm>

#include "kit/foundation/Format.h"
#include "kit/foundation/String.h"
#include "kit/foundation/URL.h"
#include "common/LocalizedText.h"
#include "shell/UIWebViewExpand.h"
#include "shell/VeskWebView.h"
#include "data/VeskPagePasswordDatabase.h"
#include "kit/foundation/Array.h"
#include "shell/VeskUIActionSheetWithData.h"

namespace tolva {
namespace {

// The per-site answers to the save question, as the password store keeps them.
constexpr int kOptionAsk = kPagePasswordAsk;
constexpr int kOptionQuestionShown = kPagePasswordQuestionShown;
constexpr int kOptionNever = kPagePasswordNeverAsk;
constexpr int kOptionSaved = kPagePasswordSaved;

// Each input costs four script calls while the page waits; a page claiming
// more inputs than any login form has is not walked further.
constexpr int kMaxInputs = 4096;
// Saved values live in the settings file; no login needs more than this.
constexpr size_t kMaxFieldBytes = 4096;

// The save or change question carries what its answer acts on: the fields
// (retainedData), the key of the password field (copiedData), the site
// (copiedData2) and the keys of the form's other password inputs
// (retainedData2), which the store must keep out of user defaults as well.
using PasswordQuestionSheet = VeskUIActionSheetWithData;

std::string lowercase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The host of a URL as the address field would take the text; "" when the
// text names no host (about:blank, data:, file:).
std::string hostOf(const std::string& text) {
  kit::Ref<kit::URL> url = kit::URL::URLWithString(text);
  if (!url) url = kit::URL::lenientURLWithString(text);
  return url ? url->host() : std::string();
}

std::string textOf(const kit::Object* o) {
  if (!o) return {};
  if (auto* s = dynamic_cast<const kit::String*>(o)) return s->str();
  return o->description();
}

// Whether a question about `host` is on screen, from any page.
bool questionOnScreenFor(const std::string& host) {
  for (const kit::Ref<kit::ActionSheet>& sheet : kit::ActionSheet::visibleSheets())
    if (auto* question = dynamic_cast<PasswordQuestionSheet*>(sheet.get());
        question && (question->tag() == VeskWebView::kTagSavePassword || question->tag() == VeskWebView::kTagChangePassword) &&
        textOf(question->copiedData2()) == host)
      return true;
  return false;
}

}  // namespace

class VeskWebView::PasswordSheetAnswers : public kit::ActionSheetDelegate {
 public:
  explicit PasswordSheetAnswers(VeskWebView& page) : page_(page) {}

  // The page goes: its question goes with it, unanswered, and points nowhere.
  ~PasswordSheetAnswers() override {
    kit::Ref<kit::ActionSheet> sheet = sheet_.lock();
    if (!sheet || sheet->delegate() != this) return;
    sheet->setDelegate(nullptr);
    sheet->dismissWithClickedButtonIndex(sheet->cancelButtonIndex(), false);
  }

  void track(kit::ActionSheet* sheet) { sheet_ = sheet; }

  void actionSheetClickedButtonAtIndex(kit::ActionSheet& sheet, long index) override {
    page_.passwordSheetClickedButtonAtIndex(sheet, index);
  }

  // A question taken away without an answer must not keep the page from asking again.
  void actionSheetDidDismissWithButtonIndex(kit::ActionSheet& sheet, long) override {
    if (sheet_.lock().get() == &sheet) page_.bShowingPasswordSheet_ = false;
  }

 private:
  VeskWebView& page_;
  kit::WeakRef<kit::ActionSheet> sheet_;
};

// ---- Page scripts

void VeskWebView::injectJSandPopupHandler() {
  kit::WebView* wv = webView_.get();
  if (!wv || UIWebViewExpand::isInjected(*wv)) return;
  wv->stringByEvaluatingJavaScriptFromString(getContextJSCode());
  wv->stringByEvaluatingJavaScriptFromString("injectPopupHandler(window);");
}

void VeskWebView::injectJscode() {
  kit::WebView* wv = webView_.get();
  if (!wv) return;
  if (!UIWebViewExpand::isInjected(*wv)) wv->stringByEvaluatingJavaScriptFromString(getContextJSCode());
  wv->stringByEvaluatingJavaScriptFromString("injectLinkTargets();");
  wv->stringByEvaluatingJavaScriptFromString("injectPopupHandler(window);");
}

// ---- Form passwords

bool VeskWebView::matchTwoDictionaries(const kit::Dictionary* stored, const kit::Dictionary* fields) {
  if (!stored || !fields) return true;
  bool match = true;
  stored->enumerate([&](kit::Object* key, kit::Object* value, bool& stop) {
    kit::Object* other = fields->objectForKey(key);
    if (other && textOf(other) != textOf(value)) {
      match = false;
      stop = true;
    }
  });
  return match;
}

void VeskWebView::processSavePassword(const kit::Dictionary* record) {
  VeskPagePasswordDatabase* store = VeskPagePasswordDatabase::sharedInstance();
  if (!store->opt_save_password()) return;

  std::string url = location_;
  if (record)
    if (auto* u = record->get<kit::String>("url")) url = u->str();
  // A page without a host (about:blank, data:) has no site to save a login for.
  std::string host = hostOf(url);
  if (host.empty() || store->getSaveOption(host) == kOptionNever) return;

  kit::Ref<kit::MutableDictionary> fields = kit::MutableDictionary::dictionary();
  std::string passwordKey;
  std::vector<std::string> passwordKeys;
  bool hasPassword = false;
  if (record) {
    fields->addEntriesFromDictionary(*record);
    passwordKey = "password";
    hasPassword = record->objectForKey("password") != nullptr;
  } else {
    kit::WebView* wv = webView_.get();
    if (!wv) return;
    auto run = [wv](const std::string& script) { return wv->stringByEvaluatingJavaScriptFromString(script); };
    run(getPasswordJSCode());
    std::string formIds = run("findIdOfFormsWithPassword()");
    std::string formNames = run("findNameOfFormsWithPassword()");
    if (formIds.empty() && formNames.empty()) return;
    int n = kit::str(run("findNumberOfInputs()"))->intValue();
    int option = store->getSaveOption(host);
    // "Question shown" with no question on screen was left by one that went
    // unanswered (its page closed, or it was taken away): it counts as "ask".
    if (option == kOptionQuestionShown && !questionOnScreenFor(host)) option = kOptionAsk;
    if (n <= 0 || (option != kOptionAsk && option != kOptionSaved)) return;
    n = std::min(n, kMaxInputs);
    for (int i = 0; i < n; ++i) {
      std::string type = lowercase(run(kit::format("getTypeOfInputAtIdx(%d)", i)));
      if (type != "password" && type != "text" && type != "email") continue;
      std::string value = run(kit::format("getValueOfInputAtIdx(%d)", i));
      std::string id = run(kit::format("getIdOfInputAtIdx(%d)", i));
      std::string name = run(kit::format("getNameOfInputAtIdx(%d)", i));
      // Without an id or a name the input could never be filled in again.
      std::string key = id.empty() ? name : id;
      if (key.empty() || key.size() > kMaxFieldBytes) continue;
      if (type == "password") {
        if (value.empty() || value.size() > kMaxFieldBytes) return;
        hasPassword = true;
        passwordKey = key;
        passwordKeys.push_back(key);
      } else if (value.size() > kMaxFieldBytes) {
        continue;
      }
      fields->setObject(kit::str(value), key);
    }
  }
  if (!hasPassword || fields->count() == 0 || bShowingPasswordSheet_) return;

  kit::Ref<kit::MutableDictionary> stored = store->retrieveByURL(host);
  if (stored && matchTwoDictionaries(stored.get(), fields.get())) return;

  if (!passwordSheetAnswers_) passwordSheetAnswers_ = std::make_shared<PasswordSheetAnswers>(*this);
  kit::Ref<PasswordQuestionSheet> sheet;
  if (stored) {
    sheet = kit::make<PasswordQuestionSheet>(
        LocalizedText::localizedFormat("Would you like to change the stored password on %@", {host}),
        passwordSheetAnswers_.get(), LocalizedText::localized("Don't Change"), std::string(),
        std::vector<std::string>{LocalizedText::localized("Change"), LocalizedText::localized("Don't Change")});
    sheet->setTag(kTagChangePassword);
  } else {
    sheet = kit::make<PasswordQuestionSheet>(
        LocalizedText::localizedFormat("Do you want Tolva to remember the password on %@", {host}),
        passwordSheetAnswers_.get(), LocalizedText::localized("Not Now"), std::string(),
        std::vector<std::string>{LocalizedText::localized("Save Password"),
                                 LocalizedText::localized("Never for this site"), LocalizedText::localized("Not Now")});
    sheet->setTag(kTagSavePassword);
  }

  store->setSaveOption(host, kOptionQuestionShown);
  sheet->setRetainedData(fields.get());
  sheet->setCopiedData(kit::str(passwordKey).get());
  sheet->setCopiedData2(kit::str(host).get());
  kit::Ref<kit::MutableArray> others = kit::MutableArray::array();
  for (const std::string& key : passwordKeys)
    if (key != passwordKey) others->addObject(kit::str(key));
  sheet->setRetainedData2(others.get());
  passwordSheetAnswers_->track(sheet.get());
  bShowingPasswordSheet_ = true;
  sheet->showFromRect(urlField_ ? urlField_->frame() : kit::Rect{}, this, true);
}

void VeskWebView::passwordSheetClickedButtonAtIndex(kit::ActionSheet& sheet, long index) {
  auto* question = dynamic_cast<PasswordQuestionSheet*>(&sheet);
  if (!question) return;
  bShowingPasswordSheet_ = false;
  VeskPagePasswordDatabase* store = VeskPagePasswordDatabase::sharedInstance();
  const std::string host = textOf(question->copiedData2());
  const std::string passwordKey = textOf(question->copiedData());
  auto* fields = dynamic_cast<kit::Dictionary*>(question->retainedData());
  std::vector<std::string> otherPasswordKeys;
  if (auto* others = dynamic_cast<kit::Array*>(question->retainedData2()))
    for (size_t i = 0; i < others->count(); ++i) otherPasswordKeys.push_back(textOf(others->objectAtIndex(i)));
  auto save = [&] { store->updatePassword(passwordKey, fields, host, otherPasswordKeys); };
  if (sheet.tag() == kTagSavePassword) {
    if (index == 0) {
      save();
      store->setSaveOption(host, kOptionSaved);
    } else if (index == 1) {
      store->setSaveOption(host, kOptionNever);
    } else {
      store->setSaveOption(host, kOptionAsk);
    }
  } else if (sheet.tag() == kTagChangePassword) {
    if (index == 0) {
      save();
      store->setSaveOption(host, kOptionSaved);
    } else if (index == 1) {
      store->setSaveOption(host, kOptionSaved);
    }
  }
}

}  // namespace tolva
