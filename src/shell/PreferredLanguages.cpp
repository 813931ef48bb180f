#include "shell/PreferredLanguages.h"

#include <cstdlib>
#include <map>

namespace tolva {

std::string PreferredLanguages::tagOfLocaleName(const std::string& name) {
  std::string tag = name.substr(0, name.find_first_of(".@"));
  if (tag.empty() || tag == "C" || tag == "POSIX") return {};
  for (char& c : tag)
    if (c == '_') c = '-';
  return tag;
}

std::vector<std::string> PreferredLanguages::list() {
  std::vector<std::string> tags;
  auto add = [&](const std::string& name) {
    std::string tag = tagOfLocaleName(name);
    if (!tag.empty()) tags.push_back(tag);
  };
  if (const char* language = std::getenv("LANGUAGE"); language && *language) {
    std::string names(language);
    for (size_t start = 0; start <= names.size();) {
      size_t end = names.find(':', start);
      if (end == std::string::npos) end = names.size();
      add(names.substr(start, end - start));
      start = end + 1;
    }
    if (!tags.empty()) return tags;
  }
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) {
      add(v);
      break;
    }
  }
  return tags;
}

std::string PreferredLanguages::displayNameInItself(const std::string& tag) {
  static const std::map<std::string, std::string> names = {
      {"ar", "العربية"},   {"ca", "català"},   {"cs", "čeština"},    {"da", "dansk"},
      {"de", "Deutsch"},   {"el", "Ελληνικά"}, {"en", "English"},    {"es", "español"},
      {"fi", "suomi"},     {"fr", "français"}, {"he", "עברית"},      {"hi", "हिन्दी"},
      {"hu", "magyar"},    {"id", "Indonesia"}, {"it", "italiano"},  {"ja", "日本語"},
      {"ko", "한국어"},    {"nb", "norsk bokmål"}, {"nl", "Nederlands"}, {"no", "norsk"},
      {"pl", "polski"},    {"pt", "português"}, {"ro", "română"},    {"ru", "русский"},
      {"sk", "slovenčina"}, {"sv", "svenska"}, {"th", "ไทย"},        {"tr", "Türkçe"},
      {"uk", "українська"}, {"vi", "Tiếng Việt"}, {"zh", "中文"},
  };
  std::string primary = tag.substr(0, tag.find('-'));
  for (char& c : primary)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  auto it = names.find(primary);
  return it == names.end() ? tag : it->second;
}

}  // namespace tolva
