#pragma once
// The web services the page tools call, in one table: the reader script and
// its style sheets, page and text translation, and the dictionary. Tests
// point the whole table at a loopback server. Safe from any thread.

#include <string>

namespace tolva {

class VeskServiceAddresses {
 public:
  // Scheme, host and port of each service, without a trailing "/".
  struct Table {
    std::string reader;
    std::string translation;
    std::string textTranslation;
    std::string dictionary;
  };

  static Table table();
  static void setTable(Table table);
  // Every service at `origin` ("http://127.0.0.1:PORT").
  static void useOriginForTesting(const std::string& origin);
  // Back to the built-in addresses.
  static void resetForTesting();

  static std::string readerScriptURL() { return table().reader + "/bookmarklet/read.js"; }
  static std::string readerScreenStyleURL() { return table().reader + "/css/bookmarklet/screen.css"; }
  static std::string readerPrintStyleURL() { return table().reader + "/css/bookmarklet/print.css"; }
  // Page translation: "sl=auto&tl=%@&u=%@" (target language, page URL).
  static std::string pageTranslationFormat() { return table().translation + "/translate?sl=auto&tl=%@&u=%@"; }
  // Text translation: target language, then the text.
  static std::string textTranslationFormat() {
    return table().textTranslation + "/m?hl=en&sl=auto&tl=%@&ie=UTF-8&prev=_m&q=%@";
  }
  // The look-up of one word; its key in the strings table is this text.
  static std::string dictionaryFormat() { return table().dictionary + "/dictionary/%@"; }
};

}  // namespace tolva
