#pragma once
// The user's languages in order of preference, as language tags ("de",
// "pt-BR"), and a language's name in that language itself. The list comes
// from the environment the way message catalogues read it: the
// colon-separated LANGUAGE list, else the one language of LC_ALL,
// LC_MESSAGES or LANG (the first that is set); "C" and "POSIX" name none.

#include <string>
#include <vector>

namespace tolva {

class PreferredLanguages {
 public:
  static std::vector<std::string> list();
  // "Deutsch" for "de" or "de-AT"; a language without a known name is its tag.
  static std::string displayNameInItself(const std::string& tag);
  // "de_AT.UTF-8@euro" → "de-AT"; "" for none.
  static std::string tagOfLocaleName(const std::string& name);
};

}  // namespace tolva
