#pragma once
// Forward declarations of the sharing kit's classes.

namespace tolva {

class CredentialKeychain;
class DefaultShareConfigurator;
class Share;
class ShareActivityIndicator;
class ShareColor;
class ShareConfiguration;
class ShareCustomFormController;
class ShareCustomFormFieldCell;
class ShareFormController;
class ShareFormFieldCell;
class ShareFormFieldSettings;
class ShareFormOptionController;
class ShareFormOptionControllerClient;
class ShareFormOptionControllerOptionProvider;
class ShareItem;
class ShareOfflineSharer;
class ShareSharer;
class ShareSharerDelegate;

}  // namespace tolva
