#pragma once
// Saves the shared page, text, image or file as a note in the user's
// account of the note service. The login is checked against the user store
// and the note is created in the note store of the user's shard, both over
// the service's Thrift interface on a worker thread each; results come back
// to the main thread as small records while the worker waits.
//
// Everything a worker needs (credentials, configuration, the item's
// contents) is read on the main thread before it starts, and the worker
// keeps the sharer alive until its record was handled. Every exception of
// the service or its transport ends the login or the share as a failure.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "EDAMNoteStore.h"
#include "EDAM_types.h"
#include "share/core/ShareSharer.h"
#include "share/ui/ShareFormFieldSettings.h"

namespace tolva {

class ShareEvernote : public ShareSharer {
 public:
  static constexpr const char* kName = "ShareEvernote";
  static constexpr const char* kClientName = "Sharing EDMA";
  static constexpr const char* kENMLDTD = "http://xml.notes.tolva-browser.org/pub/enml2.dtd";
  static constexpr const char* kENMLStyle =
      "word-wrap: break-word; -webkit-nbsp-mode: space; -webkit-line-break: after-white-space;";

  // A hand-over record: "success", and for a send "errorMessage",
  // "shouldRelogin" and, when the service gave no answer, "noAnswer" = "1".
  using Record = std::map<std::string, std::string>;

  // The login and the stores, read on the main thread.
  struct Account {
    std::string username;
    std::string password;
    std::string consumerKey;
    std::string consumerSecret;
    std::string userStoreURL;
    std::string noteStoreURLBase;
    static Account stored(const ShareSharer& sharer);
  };

  // The item's contents as the worker uses them, taken on the main thread.
  struct Content {
    std::string title;
    std::string tags;
    std::string url;
    std::string text;  // already flattened to plain text
    kit::Ref<kit::Data> imageJPEG;
    double imageWidth = 0;
    double imageHeight = 0;
    kit::Ref<kit::Data> fileData;
    std::string mimeType;
    std::shared_ptr<const edam::EDAMNote> note;
    std::string untitled;  // the localised title of a note without one
    int64_t createdMs = 0;
    static Content of(const ShareItem& item);
  };

  std::string sharerTitle() const override { return "Evernote"; }
  bool canShareURL() const override { return true; }
  bool canShareImage() const override { return true; }
  bool canShareText() const override { return true; }
  bool canShareFile() const override { return true; }
  bool requiresAuthentication() const override { return true; }
  bool canShare() const override { return true; }
  std::string authorizationFormCaption() const override;

  void authorizationFormValidate(ShareFormController* form) override;
  // The login on a worker: null when the version check says no (after the
  // version alert, when `alerter` is given) or the service answered
  // nothing. Throws what the service or the transport throws.
  static std::optional<edam::EDAMAuthenticationResult> getAuthenticationResult(const Account& account,
                                                                              ShareEvernote* alerter);
  void authFinished(bool success);

  std::optional<std::vector<kit::Ref<ShareFormFieldSettings>>> shareFormFieldsForType(int type) override;
  static std::optional<std::string> defaultNoteBookFromNoteStore(edam::EDAMNoteStoreClient& noteStore,
                                                                 const std::string& authToken);
  bool send() override;
  // The note's creation on a worker: the send record. `alerter` shows the
  // version alert when the service refuses this client's version.
  static Record sendNote(const Account& account, const Content& content, ShareEvernote* alerter = nullptr);
  static std::string enMediaTagWithResource(const edam::EDAMResource& resource, double width, double height);
  void sendFinished(const Record& record);

  std::string className() const override { return kName; }

 private:
  // The ENML of the item's contents; adds its image or file to `resources`.
  static std::string buildContent(const Content& content, std::vector<edam::EDAMResource>& resources,
                                  edam::EDAMNoteAttributes& attributes);
  static Record loginRecord(const Account& account, ShareEvernote* alerter);
  // Runs `work` on a detached thread holding this sharer; its record is
  // handled by `finished` on the main thread while the worker waits.
  void runWorker(std::function<Record()> work, void (ShareEvernote::*finished)(const Record&), const char* name);
  void loginFinished(const Record& record);
};

}  // namespace tolva
