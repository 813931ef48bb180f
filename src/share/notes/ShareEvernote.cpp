#include "share/notes/ShareEvernote.h"

#include <cmath>
#include <cstdio>

#include <thrift/Thrift.h>
#include <thrift/protocol/TProtocolException.h>
#include <thrift/transport/TTransportException.h>

#include "EDAMUserStore.h"
#include "EDAM_constants.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/RunLoop.h"
#include "kit/foundation/Thread.h"
#include "kit/net/BackgroundWork.h"
#include "kit/net/URLConnection.h"
#include "kit/net/URLError.h"
#include "kit/net/URLRequest.h"
#include "share/core/Share.h"
#include "share/core/ShareConfiguration.h"
#include "share/core/ShareFunctions.h"
#include "share/core/md5.h"
#include "share/notes/EDAMClientFactory.h"
#include "share/notes/ShareEvernoteItem.h"
#include "share/ui/ShareActivityIndicator.h"
#include "share/ui/ShareFormController.h"

namespace tolva {

using namespace edam;

namespace {

std::string xmlEscape(std::string_view text) { return ShareEscapeMarkup(text, "&apos;"); }

// The resource's bytes, their count, and their MD5 digest as the hash.
EDAMData dataRecord(const std::string& bytes) {
  EDAMData data;
  data.__set_body(bytes);
  data.__set_size(static_cast<int32_t>(bytes.size()));
  const std::string hex = md5::md5(kit::Data::dataWithString(bytes).get());
  std::string digest;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) digest += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  data.__set_bodyHash(digest);
  return data;
}

EDAMResource resourceWithBytes(const std::string& bytes, const std::string& mime) {
  EDAMResource resource;
  EDAMData data = dataRecord(bytes);
  resource.__set_data(data);
  resource.__set_recognition(data);
  resource.__set_mime(mime);
  return resource;
}

std::string userErrorText(int code) {
  switch (code) {
    case 2: return "Invalid format";
    case 3: return "Permission Denied";
    case 4: return "Internal Evernote Error";
    case 5: return "Data Required";
    case 7: return "Quota Reached";
    case 8: return "Invalid Auth";
    case 9: return "Auth Expired";
    case 10: return "Data Conflict";
    default: return "Unknown error from Evernote";
  }
}

ShareEvernote::Record sendRecord(bool success, std::string message, bool relogin) {
  return {{"success", success ? "1" : "0"}, {"errorMessage", std::move(message)}, {"shouldRelogin", relogin ? "1" : "0"}};
}

// The service could not be reached, or something other than the service
// answered (a proxy's or portal's page): the share may go out later.
ShareEvernote::Record noAnswerRecord(std::string message) {
  ShareEvernote::Record record = sendRecord(false, std::move(message), false);
  record["noAnswer"] = "1";
  return record;
}

// Fetches each handed-in image that has a source URL but no bytes, and puts
// its media tag where the content shows the image by that URL.
void fillRemoteImages(std::vector<EDAMResource>& resources, EDAMNote& note) {
  for (EDAMResource& resource : resources) {
    try {
      if (resource.__isset.data || !resource.__isset.attributes || resource.attributes.sourceURL.empty() ||
          resource.mime != "image/jpeg")
        continue;
      const std::string& source = resource.attributes.sourceURL;
      kit::Ref<kit::URL> url = kit::URL::URLWithString(source);
      if (!url) continue;
      kit::Ref<kit::URLResponse> response;
      kit::Ref<kit::Error> error;
      kit::Ref<kit::Data> bytes = kit::BackgroundWork::sendSynchronousRequest(kit::URLRequest(url), &response, &error);
      kit::Ref<kit::Image> image = bytes ? kit::Image::imageWithData(bytes.get()) : nullptr;
      if (!image) continue;
      EDAMData data = dataRecord(bytes->toString());
      resource.__set_data(data);
      resource.__set_recognition(data);
      const std::string tag =
          ShareEvernote::enMediaTagWithResource(resource, image->size().width, image->size().height);
      // The content may show the URL as written or XML-escaped.
      for (const std::string& written : {source, xmlEscape(source)}) {
        const std::string img = "<img src=\"" + written + "\" />";
        size_t at = note.content.find(img);
        if (at == std::string::npos) continue;
        note.content.replace(at, img.size(), tag);
        break;
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ShareEvernote: skipped an image resource: %s\n", e.what());
    }
  }
}

}  // namespace

ShareEvernote::Account ShareEvernote::Account::stored(const ShareSharer& sharer) {
  Account account;
  account.username = sharer.getAuthValueForKey("username").value_or("");
  account.password = sharer.getAuthValueForKey("password").value_or("");
  account.consumerKey = ShareConfiguration::stringValue("evernoteConsumerKey");
  account.consumerSecret = ShareConfiguration::stringValue("evernoteSecret");
  account.userStoreURL = ShareConfiguration::stringValue("evernoteUserStoreURL");
  account.noteStoreURLBase = ShareConfiguration::stringValue("evernoteNetStoreURLBase");
  return account;
}

ShareEvernote::Content ShareEvernote::Content::of(const ShareItem& item) {
  Content content;
  content.title = item.title();
  content.untitled = ShareLocalizedFormat("Untitled");
  content.tags = item.tags();
  if (item.URL()) content.url = item.URL()->absoluteString();
  if (!item.text().empty()) content.text = ShareStripHTML(item.text(), false);
  if (kit::Image* image = item.image()) {
    content.imageJPEG = image->jpegData(0.6);
    content.imageWidth = image->size().width;
    content.imageHeight = image->size().height;
  }
  content.fileData = item.data();
  content.mimeType = item.mimeType();
  if (auto* noteItem = dynamic_cast<const ShareEvernoteItem*>(&item)) content.note = noteItem->note();
  content.createdMs = static_cast<int64_t>(std::floor(kit::Clock::now() + kit::Clock::kReferenceDateOffset1970)) * 1000;
  return content;
}

std::string ShareEvernote::authorizationFormCaption() const {
  kit::Ref<kit::URL> store = kit::URL::URLWithString(ShareConfiguration::stringValue("evernoteUserStoreURL"));
  return ShareLocalizedFormat("Create a free account at %@", {store ? store->host() : std::string()});
}

// ---- Login

void ShareEvernote::authorizationFormValidate(ShareFormController* form) {
  if (!form) return;
  if (!quiet()) ShareActivityIndicator::currentIndicator()->displayActivity(ShareLocalizedFormat("Logging In..."));
  setPendingForm(form);
  Account account = Account::stored(*this);
  const ShareFormController::Values values = form->formValues();
  account.username = ShareFormController::valueOf(values, "username");
  account.password = ShareFormController::valueOf(values, "password");
  runWorker([account, this] { return loginRecord(account, this); }, &ShareEvernote::loginFinished, "note login");
}

ShareEvernote::Record ShareEvernote::loginRecord(const Account& account, ShareEvernote* alerter) {
  bool success = false;
  try {
    std::optional<EDAMAuthenticationResult> result = getAuthenticationResult(account, alerter);
    success = result && result->__isset.user && result->__isset.authenticationToken &&
              !result->authenticationToken.empty();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ShareEvernote: login failed: %s\n", e.what());
  }
  return {{"success", success ? "1" : "0"}};
}

std::optional<EDAMAuthenticationResult> ShareEvernote::getAuthenticationResult(const Account& account,
                                                                              ShareEvernote* alerter) {
  kit::Ref<kit::URL> url = kit::URL::URLWithString(account.userStoreURL);
  if (!url) throw apache::thrift::TException("no user store URL");
  std::string error;
  std::shared_ptr<EDAMUserStoreClient> userStore = EDAMClientFactory::userStore(*url, &error);
  if (!userStore) throw apache::thrift::transport::TTransportException(apache::thrift::transport::TTransportException::NOT_OPEN, error);
  if (!userStore->checkVersion(kClientName, g_EDAM_constants.EDAM_VERSION_MAJOR,
                               g_EDAM_constants.EDAM_VERSION_MINOR)) {
    if (alerter)
      kit::RunLoop::performOnMainThread(
          [alerter] {
            alerter->alert(ShareLocalizedFormat("EDMA Error"), ShareLocalizedFormat("EDMA Version is too old."));
          },
          true);
    return std::nullopt;
  }
  EDAMAuthenticationResult result;
  userStore->authenticate(result, account.username, account.password, account.consumerKey, account.consumerSecret);
  return result;
}

void ShareEvernote::loginFinished(const Record& record) {
  auto it = record.find("success");
  authFinished(it != record.end() && it->second == "1");
}

void ShareEvernote::authFinished(bool success) {
  kit::Ref<ShareEvernote> keep(this);
  ShareActivityIndicator::currentIndicator()->hide();
  if (success) {
    kit::Ref<ShareFormController> form(pendingForm());
    if (form) form->saveForm();
    authDidFinish(true);
    return;
  }
  alert(ShareLocalizedFormat("Login Error"), ShareLocalizedFormat("Your username and password did not match"));
}

// ---- Sending

std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> ShareEvernote::shareFormFieldsForType(int) {
  return std::vector<kit::Ref<ShareFormFieldSettings>>{
      ShareFormFieldSettings::label(ShareLocalizedFormat("Title"), "title", ShareFormFieldTypeText, item()->title()),
      ShareFormFieldSettings::label(ShareLocalizedFormat("Tags"), "tags", ShareFormFieldTypeText, item()->tags())};
}

std::optional<std::string> ShareEvernote::defaultNoteBookFromNoteStore(EDAMNoteStoreClient& noteStore,
                                                                       const std::string& authToken) {
  std::vector<EDAMNotebook> notebooks;
  noteStore.listNotebooks(notebooks, authToken);
  for (const EDAMNotebook& notebook : notebooks)
    if (notebook.defaultNotebook) return notebook.guid;
  return std::nullopt;
}

bool ShareEvernote::send() {
  if (!validateItem()) return false;
  sendDidStart();
  Account account = Account::stored(*this);
  Content content = Content::of(*item());
  // The worker holds this sharer until its record has been handled.
  runWorker([account, content, this] { return sendNote(account, content, this); }, &ShareEvernote::sendFinished,
            "note send");
  return true;
}

std::string ShareEvernote::buildContent(const Content& content, std::vector<EDAMResource>& resources,
                                        EDAMNoteAttributes& attributes) {
  std::string enml = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + "<!DOCTYPE en-note SYSTEM \"" +
                     kENMLDTD + "\">" + "<en-note style=\"" + kENMLStyle + "\">";
  const std::string title = xmlEscape(content.title);
  if (!content.url.empty()) {
    const std::string url = xmlEscape(content.url);
    if (!title.empty()) enml += "<h1><a href=\"" + url + "\">" + title + "</a></h1>";
    enml += "<p><a href=\"" + url + "\">" + url + "</a></p>";
    attributes.__set_sourceURL(content.url);
  } else if (!title.empty()) {
    enml += "<h1>" + title + "</h1>";
  }
  if (!content.text.empty()) enml += "<p>" + xmlEscape(content.text) + "</p>";
  if (content.imageJPEG) {
    resources.push_back(resourceWithBytes(content.imageJPEG->toString(), "image/jpeg"));
    enml += "<p>" + enMediaTagWithResource(resources.back(), content.imageWidth, content.imageHeight) + "</p>";
  }
  if (content.fileData) {
    resources.push_back(resourceWithBytes(content.fileData->toString(), content.mimeType));
    enml += "<p>" + enMediaTagWithResource(resources.back(), 0, 0) + "</p>";
  }
  return enml + "</en-note>";
}

ShareEvernote::Record ShareEvernote::sendNote(const Account& account, const Content& content, ShareEvernote* alerter) {
  try {
    std::optional<EDAMAuthenticationResult> auth = getAuthenticationResult(account, alerter);
    if (!auth || !auth->__isset.user || auth->authenticationToken.empty())
      return sendRecord(false, "The login was refused", false);
    const std::string token = auth->authenticationToken;
    kit::Ref<kit::URL> storeURL = kit::URL::URLWithString(account.noteStoreURLBase + auth->user.shardId);
    if (!storeURL) return sendRecord(false, "No note store URL", false);
    std::string error;
    std::shared_ptr<EDAMNoteStoreClient> noteStore = EDAMClientFactory::noteStore(*storeURL, &error);
    if (!noteStore) return noAnswerRecord(error);

    EDAMNote note = content.note ? *content.note : EDAMNote();
    std::vector<EDAMResource> resources = note.__isset.resources ? note.resources : std::vector<EDAMResource>();
    EDAMNoteAttributes attributes = note.__isset.attributes ? note.attributes : EDAMNoteAttributes();
    if (!attributes.__isset.sourceURL && !content.url.empty()) attributes.__set_sourceURL(content.url);
    if (!note.__isset.notebookGuid)
      if (std::optional<std::string> guid = defaultNoteBookFromNoteStore(*noteStore, token))
        note.__set_notebookGuid(*guid);
    if (!content.title.empty())
      note.__set_title(content.title);
    else if (!note.__isset.title)
      note.__set_title(content.untitled);
    if (!note.__isset.tagNames && !content.tags.empty()) {
      // Runs of blanks would make empty names, which the service refuses.
      std::vector<std::string> tags;
      size_t start = 0;
      while (start <= content.tags.size()) {
        size_t end = content.tags.find(' ', start);
        if (end == std::string::npos) end = content.tags.size();
        if (end > start) tags.push_back(content.tags.substr(start, end - start));
        start = end + 1;
      }
      note.__set_tagNames(tags);
    }
    if (!note.__isset.content) note.__set_content(buildContent(content, resources, attributes));
    fillRemoteImages(resources, note);
    note.__set_resources(resources);
    note.__set_attributes(attributes);
    note.__set_created(content.createdMs);
    EDAMNote created;
    noteStore->createNote(created, token, note);
    return sendRecord(true, "", false);
  } catch (const EDAMUserException& e) {
    return sendRecord(false, "Evernote Error on " + e.parameter + ": " + userErrorText(e.errorCode),
                      e.errorCode == 8 || e.errorCode == 9);
  } catch (const EDAMSystemException& e) {
    return sendRecord(false, "Evernote system error " + std::to_string(e.errorCode) + ": " + e.message, false);
  } catch (const apache::thrift::transport::TTransportException& e) {
    return noAnswerRecord(e.what());
  } catch (const apache::thrift::protocol::TProtocolException& e) {
    return noAnswerRecord(e.what());
  } catch (const std::exception& e) {
    return sendRecord(false, e.what(), false);
  }
}

std::string ShareEvernote::enMediaTagWithResource(const EDAMResource& resource, double width, double height) {
  std::string size;
  if (width > 0 && height > 0) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "height=\"%.0f\" width=\"%.0f\" ", height, width);
    size = buffer;
  }
  return "<en-media type=\"" + xmlEscape(resource.mime) + "\" " + size + "hash=\"" +
         md5::md5(kit::Data::dataWithString(resource.data.body).get()) + "\"/>";
}

void ShareEvernote::sendFinished(const Record& record) {
  kit::Ref<ShareEvernote> keep(this);
  auto field = [&record](const char* key) {
    auto it = record.find(key);
    return it == record.end() ? std::string() : it->second;
  };
  if (field("success") == "1") {
    sendDidFinish();
  } else if (field("shouldRelogin") == "1") {
    shouldReloginWithPendingAction(SharePendingActionSend);
  } else {
    std::fprintf(stderr, "ShareEvernote: %s\n", field("errorMessage").c_str());
    kit::Ref<kit::Error> below;
    if (field("noAnswer") == "1")
      below = kit::URLError::make(kit::URLError::kCannotLoadFromNetwork, nullptr, field("errorMessage"));
    sendDidFailWithError(Share::error(ShareLocalizedFormat("There was a problem sharing with Evernote"), below).get());
  }
}

void ShareEvernote::runWorker(std::function<Record()> work, void (ShareEvernote::*finished)(const Record&),
                              const char* name) {
  kit::Ref<ShareEvernote> self(this);
  // Counted in, so the program does not end under the worker; once it is
  // ending, no service call starts.
  auto job = std::make_shared<kit::BackgroundWork::Job>();
  if (!*job) return;
  kit::Thread::detachNewThread(
      [job, self, work = std::move(work), finished]() mutable {
        Record record{{"success", "0"}};
        try {
          record = work();
        } catch (...) {
          std::fprintf(stderr, "ShareEvernote: the worker failed\n");
        }
        kit::RunLoop::performOnMainThread([&] { ((*self).*finished)(record); }, true);
        // The sharer is a view controller: let go of it on the main thread.
        kit::RunLoop::performOnMainThread([last = std::move(self)] {});
        job.reset();
      },
      name);
}

}  // namespace tolva
