#include "kit/security/FileKeychainStore.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "kit/foundation/Array.h"
#include "kit/foundation/Clock.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/String.h"
#include "kit/security/Base64.h"
#include "kit/security/Keychain.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

namespace kit {

namespace {

constexpr long kFormatVersion = 1;

void say(const std::string& message) { std::fprintf(stderr, "keychain: %s\n", message.c_str()); }

std::string errnoText(int err) { return std::strerror(err); }

std::string folderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

// "20261209T042600" for kit's clock (virtual in tests), in UTC.
std::string timestamp() {
  double seconds = std::floor(Clock::now() + Clock::kReferenceDateOffset1970);
  time_t t = static_cast<time_t>(seconds);
  struct tm parts {};
  gmtime_r(&t, &parts);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%dT%H%M%S", &parts);
  return buf;
}

// Renames without ever replacing an existing file.
int renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without the flag: a hard link fails on an existing target.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) != 0) return errno;
  return 0;
}

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Reads the whole file. nullopt with errno set when it cannot be read;
// ENOENT means there is no file.
std::optional<std::string> readFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  int statErr = ::fstat(fd, &st) != 0 ? errno : 0;
  if (statErr == 0 && !S_ISREG(st.st_mode)) statErr = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  if (statErr != 0) {
    ::close(fd);
    errno = statErr;
    return std::nullopt;
  }
  std::string bytes;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      errno = err;
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

// --- The property-list subset this file uses: dict, array, string, integer, data. ---

bool appendEscaped(std::string& out, std::string_view text) {
  if (!Keychain::isStorableText(text)) return false;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\r': out += "&#13;"; break;  // a raw CR would be read back as LF
      default: out += c;
    }
  }
  return true;
}

bool writeValue(std::string& out, const Object* o, int depth) {
  std::string pad(static_cast<size_t>(depth), '\t');
  if (auto* d = dynamic_cast<const Dictionary*>(o)) {
    out += pad + "<dict>\n";
    bool ok = true;
    d->enumerate([&](Object* k, Object* v, bool& stop) {
      auto* key = cast<String>(k);
      out += pad + "\t<key>";
      ok = key && appendEscaped(out, key->view());
      out += "</key>\n";
      ok = ok && writeValue(out, v, depth + 1);
      stop = !ok;
    });
    out += pad + "</dict>\n";
    return ok;
  }
  if (auto* a = dynamic_cast<const Array*>(o)) {
    out += pad + "<array>\n";
    for (size_t i = 0; i < a->count(); ++i)
      if (!writeValue(out, a->objectAtIndex(i), depth + 1)) return false;
    out += pad + "</array>\n";
    return true;
  }
  if (auto* s = dynamic_cast<const String*>(o)) {
    out += pad + "<string>";
    if (!appendEscaped(out, s->view())) return false;
    out += "</string>\n";
    return true;
  }
  if (auto* n = dynamic_cast<const Number*>(o)) {
    out += pad + "<integer>" + std::to_string(n->longLongValue()) + "</integer>\n";
    return !n->isFloatingPoint() && !n->isBool();
  }
  if (auto* data = dynamic_cast<const Data*>(o)) {
    out += pad + "<data>" + Base64::encode(data->view()) + "</data>\n";
    return true;
  }
  return false;
}

std::optional<std::string> writePlist(const Object* root) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
  if (!writeValue(out, root, 0)) return std::nullopt;
  out += "</plist>\n";
  return out;
}

Ref<Object> failWith(std::string* why, std::string reason) {
  *why = std::move(reason);
  return nullptr;
}

bool isElement(const xmlNode* n, const char* name) {
  return n->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

std::string textOf(const xmlNode* n) {
  xmlChar* c = xmlNodeGetContent(n);
  std::string s = c ? reinterpret_cast<const char*>(c) : "";
  xmlFree(c);
  return s;
}

bool isBlank(const xmlNode* n) {
  if (n->type == XML_COMMENT_NODE) return true;
  if (n->type != XML_TEXT_NODE) return false;
  for (const xmlChar* p = n->content; p && *p; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') return false;
  return true;
}

// The element children, or nullopt when something else (text, entities) is mixed in.
std::optional<std::vector<const xmlNode*>> elementsOf(const xmlNode* n) {
  std::vector<const xmlNode*> out;
  for (const xmlNode* c = n->children; c; c = c->next) {
    if (isBlank(c)) continue;
    if (c->type != XML_ELEMENT_NODE) return std::nullopt;
    out.push_back(c);
  }
  return out;
}

// Element text that is only text (no child elements or entity references).
std::optional<std::string> plainText(const xmlNode* n) {
  for (const xmlNode* c = n->children; c; c = c->next)
    if (c->type != XML_TEXT_NODE) return std::nullopt;
  return textOf(n);
}

Ref<Object> readValue(const xmlNode* n, std::string* why) {
  if (isElement(n, "dict")) {
    auto items = elementsOf(n);
    if (!items || items->size() % 2 != 0) return failWith(why, "malformed dict");
    auto d = MutableDictionary::dictionary();
    for (size_t i = 0; i < items->size(); i += 2) {
      std::optional<std::string> key = isElement((*items)[i], "key") ? plainText((*items)[i]) : std::nullopt;
      if (!key) return failWith(why, "dict entry without a key");
      Ref<Object> v = readValue((*items)[i + 1], why);
      if (!v) return nullptr;
      d->setObject(v, *key);
    }
    return d;
  }
  if (isElement(n, "array")) {
    auto items = elementsOf(n);
    if (!items) return failWith(why, "malformed array");
    auto a = MutableArray::array();
    for (const xmlNode* c : *items) {
      Ref<Object> v = readValue(c, why);
      if (!v) return nullptr;
      a->addObject(v);
    }
    return a;
  }
  if (isElement(n, "string")) {
    std::optional<std::string> text = plainText(n);
    if (!text) return failWith(why, "malformed string");
    return str(*text);
  }
  if (isElement(n, "integer")) {
    std::optional<std::string> text = plainText(n);
    if (!text || text->empty()) return failWith(why, "malformed integer");
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text->c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return failWith(why, "malformed integer");
    return Number::numberWithLongLong(v);
  }
  if (isElement(n, "data")) {
    std::optional<std::string> text = plainText(n);
    std::optional<std::vector<std::uint8_t>> bytes = text ? Base64::decode(*text) : std::nullopt;
    if (!bytes) return failWith(why, "malformed data");
    return make<Data>(std::move(*bytes));
  }
  *why = std::string("unexpected element <") + reinterpret_cast<const char*>(n->name) + ">";
  return nullptr;
}

Ref<Object> readPlist(std::string_view bytes, std::string* why) {
  if (bytes.empty()) return failWith(why, "the file is empty");
  if (bytes.size() > static_cast<size_t>(INT_MAX)) return failWith(why, "the file is too large");
  // No network, no entity substitution, no DTD loading, no messages on stderr.
  xmlDoc* doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, "UTF-8",
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!doc) return failWith(why, "not well-formed XML");
  Ref<Object> result;
  const xmlNode* root = xmlDocGetRootElement(doc);
  if (doc->intSubset || doc->extSubset) {
    *why = "unexpected document type declaration";
  } else if (!root || !isElement(root, "plist")) {
    *why = "not a property list";
  } else if (auto top = elementsOf(root); !top || top->size() != 1) {
    *why = "a property list must hold exactly one value";
  } else {
    result = readValue(top->front(), why);
  }
  xmlFreeDoc(doc);
  return result;
}

Ref<Object> treeOf(const std::vector<KeychainItem>& items) {
  auto list = MutableArray::array();
  for (const KeychainItem& item : items) {
    auto entry = MutableDictionary::dictionary();
    entry->setObject(str(item.service), "service");
    entry->setObject(str(item.account), "account");
    if (item.label) entry->setObject(str(*item.label), "label");
    if (item.data) entry->setObject(make<Data>(*item.data), "data");
    list->addObject(entry);
  }
  auto root = MutableDictionary::dictionary();
  root->setObject(Number::numberWithInteger(kFormatVersion), "version");
  root->setObject(list, "items");
  return root;
}

std::optional<std::vector<KeychainItem>> itemsOf(const Object* tree, std::string* why) {
  auto fail = [&](std::string reason) -> std::optional<std::vector<KeychainItem>> {
    if (why) *why = std::move(reason);
    return std::nullopt;
  };
  auto* root = cast<Dictionary>(const_cast<Object*>(tree));
  if (!root) return fail("the top level is not a dictionary");
  auto* version = root->get<Number>("version");
  if (!version || version->isFloatingPoint() || version->longLongValue() != kFormatVersion)
    return fail("unknown format version");
  auto* list = root->get<Array>("items");
  if (!list) return fail("no item list");
  std::vector<KeychainItem> items;
  for (size_t i = 0; i < list->count(); ++i) {
    auto* entry = list->get<Dictionary>(i);
    if (!entry) return fail("item " + std::to_string(i) + " is not a dictionary");
    auto* service = entry->get<String>("service");
    auto* account = entry->get<String>("account");
    if (!service || !account) return fail("item " + std::to_string(i) + " lacks service or account");
    KeychainItem item{service->str(), account->str(), std::nullopt, std::nullopt};
    if (Object* label = entry->objectForKey("label")) {
      auto* s = cast<String>(label);
      if (!s) return fail("item " + std::to_string(i) + " has a label that is not text");
      item.label = s->str();
    }
    if (Object* data = entry->objectForKey("data")) {
      auto* d = cast<Data>(data);
      if (!d) return fail("item " + std::to_string(i) + " has data that is not bytes");
      item.data.emplace(d->bytes(), d->bytes() + d->length());
    }
    for (const KeychainItem& earlier : items)
      if (earlier.sameIdentity(item)) return fail("item " + std::to_string(i) + " repeats an earlier one");
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace

FileKeychainStore::FileKeychainStore(std::string path) : path_(std::move(path)) {}

std::string FileKeychainStore::movedAsidePath() const {
  std::lock_guard<std::mutex> g(mutex_);
  return movedAside_;
}

std::optional<std::string> FileKeychainStore::encode(const std::vector<KeychainItem>& items) {
  return writePlist(treeOf(items));
}

std::optional<std::vector<KeychainItem>> FileKeychainStore::decode(std::string_view bytes, std::string* why) {
  std::string reason;
  Ref<Object> tree = readPlist(bytes, &reason);
  if (!tree) {
    if (why) *why = reason.empty() ? "not a property list" : reason;
    return std::nullopt;
  }
  return itemsOf(tree, why);
}

std::vector<KeychainItem> FileKeychainStore::load() {
  std::lock_guard<std::mutex> g(mutex_);
  blocked_ = false;
  movedAside_.clear();
  std::optional<std::string> bytes = readFile(path_);
  if (!bytes) {
    int err = errno;
    if (err == ENOENT) return {};
    blocked_ = true;
    say("cannot read " + path_ + " (" + errnoText(err) +
        "); starting with an empty keychain and leaving the file as it is");
    return {};
  }
  std::string why;
  std::optional<std::vector<KeychainItem>> items = decode(*bytes, &why);
  if (items) return std::move(*items);
  if (!moveAside(why)) blocked_ = true;
  return {};
}

bool FileKeychainStore::moveAside(const std::string& why) {
  const std::string base = path_ + ".corrupt-" + timestamp();
  for (int attempt = 1; attempt < 1000; ++attempt) {
    std::string target = attempt == 1 ? base : base + "-" + std::to_string(attempt);
    int err = renameNoReplace(path_, target);
    if (err == 0) {
      movedAside_ = target;
      say(path_ + " is damaged (" + why + "); moved it to " + target +
          " and starting with an empty keychain");
      return true;
    }
    if (err != EEXIST) {
      say(path_ + " is damaged (" + why + ") and could not be moved aside (" + errnoText(err) +
          "); starting with an empty keychain that will not be saved");
      return false;
    }
  }
  say(path_ + " is damaged (" + why + ") and every aside name is taken; the keychain will not be saved");
  return false;
}

KeychainStatus FileKeychainStore::save(const std::vector<KeychainItem>& items) {
  std::optional<std::string> bytes = encode(items);
  if (!bytes) {
    say("an item holds text that cannot be stored; not saved");
    return kKeychainBadParameter;
  }
  std::lock_guard<std::mutex> g(mutex_);
  if (blocked_) {
    say("not writing " + path_ + ": the file there could not be read and is kept as it is");
    return kKeychainIOError;
  }
  return writeAtomically(*bytes);
}

KeychainStatus FileKeychainStore::writeAtomically(const std::string& bytes) {
  const std::string folder = folderOf(path_);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);  // an error shows at mkstemp below

  std::string temp = path_ + ".tmp-XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    say("cannot create a temporary file in " + folder + " (" + errnoText(errno) + ")");
    return kKeychainIOError;
  }
  auto failed = [&](const char* step) {
    int err = errno;
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    say(std::string("cannot save ") + path_ + ": " + step + " failed (" + errnoText(err) + ")");
    return kKeychainIOError;
  };
  if (::fchmod(fd, 0600) != 0) return failed("chmod");
  if (!writeAll(fd, bytes)) return failed("write");
  if (::fsync(fd) != 0) return failed("fsync");
  int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return failed("close");
  if (::rename(temp.c_str(), path_.c_str()) != 0) return failed("rename");

  // Make the rename itself durable. The new file is in place either way, so a
  // failure here is reported but the save stands.
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0 || ::fsync(dir) != 0) say("cannot flush folder " + folder + " (" + errnoText(errno) + ")");
  if (dir >= 0) ::close(dir);
  return kKeychainSuccess;
}

}  // namespace kit
