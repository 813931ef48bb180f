#include "kit/foundation/UserDefaults.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "kit/foundation/AtomicFile.h"
#include "kit/foundation/NotificationCenter.h"
#include "kit/foundation/Number.h"
#include "kit/foundation/Paths.h"
#include "kit/foundation/PropertyList.h"
#include "kit/foundation/RunLoop.h"

namespace kit {
namespace {

// Settings hold private things (browsing history, account names).
constexpr mode_t kFileMode = 0600;

// Equal and of the same type all the way down: storing integer 1 over true
// is a change even though the two compare equal.
bool sameValue(const Object* a, const Object* b) {
  if (a == b) return true;
  if (!a || !b || a->kind() != b->kind()) return false;
  switch (a->kind()) {
    case Kind::Number: {
      auto* x = static_cast<const Number*>(a);
      auto* y = static_cast<const Number*>(b);
      return x->isBool() == y->isBool() && x->typeLetter() == y->typeLetter() && x->isEqual(y);
    }
    case Kind::Array: {
      auto* x = static_cast<const Array*>(a);
      auto* y = static_cast<const Array*>(b);
      if (x->count() != y->count()) return false;
      for (size_t i = 0, n = x->count(); i < n; ++i)
        if (!sameValue(x->objectAtIndex(i), y->objectAtIndex(i))) return false;
      return true;
    }
    case Kind::Dictionary: {
      auto* x = static_cast<const Dictionary*>(a);
      auto* y = static_cast<const Dictionary*>(b);
      if (x->count() != y->count()) return false;
      bool same = true;
      x->enumerate([&](Object* k, Object* v, bool& stop) {
        if (!sameValue(v, y->objectForKey(k))) same = false, stop = true;
      });
      return same;
    }
    default: return a->isEqual(b);
  }
}

// The file's header, footer and root dictionary tags, with room to spare.
constexpr uint64_t kFileFraming = 1024;

// What the entry key → value adds to the file: its key line and its value,
// one level deep. The key line is "\t<key>…</key>\n", six bytes shorter
// than the same text written as a string value.
std::optional<uint64_t> entryLength(std::string_view key, const Object* value, Ref<Error>* error = nullptr) {
  std::optional<uint64_t> v = PropertyList::encodedLength(value, 1, error);
  if (!v) return std::nullopt;
  std::optional<uint64_t> k = PropertyList::encodedLength(str(std::string(key)).get(), 1);
  return *v + (k ? *k - 6 : key.size() * 6 + 13);
}

// entryLength() of an array value, measured element by element: an element
// `known` holds is not measured again. Fills `elements` with the array's
// container elements and their lengths (left empty for any other value).
std::optional<uint64_t> arrayEntryLength(std::string_view key, const Object* value,
                                         const std::map<const Object*, UserDefaults::KnownElement>* known,
                                         std::map<const Object*, UserDefaults::KnownElement>& elements,
                                         Ref<Error>* error) {
  auto* array = dynamic_cast<const Array*>(value);
  if (!array || array->empty()) return entryLength(key, value, error);
  // A non-empty array is its opening and closing lines around its elements,
  // each written at the next depth on its own.
  static const Ref<String> one = str("");
  const std::optional<uint64_t> frame = entryLength(key, make<Array>(std::vector<Ref<Object>>{one}).get());
  uint64_t total = *frame - *PropertyList::encodedLength(one.get(), 2);
  for (size_t i = 0, n = array->count(); i < n; ++i) {
    Object* element = array->objectAtIndex(i);
    const bool container = dynamic_cast<const Array*>(element) || dynamic_cast<const Dictionary*>(element);
    std::optional<uint64_t> bytes;
    if (container && known)
      if (auto it = known->find(element); it != known->end()) bytes = it->second.bytes;
    if (!bytes) bytes = PropertyList::encodedLength(element, 2);
    if (!bytes) {
      elements.clear();
      return entryLength(key, value, error);  // says where in the whole value
    }
    total += *bytes;
    if (container) elements.insert_or_assign(element, UserDefaults::KnownElement{Ref<Object>(element), *bytes});
  }
  return total;
}

bool isMissingFile(const Error* e) {
  return e && e->domain() == Error::kPOSIXErrorDomain && e->code() == ENOENT;
}

UserDefaults* gStandard = nullptr;

void saveStandardAtExit() {
  if (gStandard) gStandard->synchronize();
}

}  // namespace

UserDefaults::UserDefaults(std::string path)
    : path_(std::move(path)), registered_(MutableDictionary::dictionary()), fileSizeLimit_(PropertyList::kMaxFileBytes) {}

UserDefaults::~UserDefaults() {
  Ref<Error> err;
  if (!synchronize(&err) && err)
    std::fprintf(stderr, "kit: settings in %s %s: %s\n", path_.c_str(),
                 err->domain() == kErrorDomain ? "were saved incomplete" : "could not be saved",
                 err->localizedDescription().c_str());
}

UserDefaults& UserDefaults::standardUserDefaults() {
  static UserDefaults* standard = [] {
    auto* d = new UserDefaults(std::string());
    d->retain();  // lives as long as the process
    d->pathProvider_ = [] { return Paths::preferencesFile(); };
    gStandard = d;
    std::atexit(saveStandardAtExit);
    return d;
  }();
  return *standard;
}

void UserDefaults::resetStandardUserDefaults() { standardUserDefaults().reload(); }

void UserDefaults::discardStandardUserDefaultsForTesting() {
  UserDefaults* d = &standardUserDefaults();
  std::lock_guard<std::mutex> w(d->writeMutex_);
  std::lock_guard<std::mutex> g(d->mutex_);
  d->persistent_ = nullptr;
  d->registered_ = MutableDictionary::dictionary();
  d->dirty_ = false;
  d->writeBlocked_ = nullptr;
  d->leftOut_.clear();
  d->repairsReported_.clear();
  ++d->generation_;
}

std::string UserDefaults::path() const {
  std::lock_guard<std::mutex> g(mutex_);
  return path_;
}

void UserDefaults::ensureLoadedLocked() const {
  if (persistent_) return;
  if (pathProvider_) path_ = pathProvider_();
  if (!path_.empty() && path_ != sweptPath_) {
    // Saves cut short by a crash or a kill leave their temporary files.
    sweptPath_ = path_;
    AtomicFile::removeStaleTemporaries(path_);
  }
  persistent_ = MutableDictionary::dictionary();
  dirty_ = false;
  writeBlocked_ = nullptr;
  entriesMeasured_ = false;
  entryBytes_.clear();
  entriesTotal_ = 0;

  Ref<Error> err;
  Ref<Object> root = PropertyList::readFromFile(path_, PropertyList::Options::Immutable, &err);
  if (auto* dict = cast<Dictionary>(root)) {
    persistent_->addEntriesFromDictionary(*dict);
    return;
  }
  if (!root && isMissingFile(err.get())) return;

  std::string why = root ? "its root is a " + root->className() + ", not a dictionary" : err->localizedDescription();
  if (err && err->domain() == Error::kPOSIXErrorDomain) {
    // Unreadable but maybe fine: keep it, and do not write over it.
    writeBlocked_ = Error::errorWithDescription(
        Error::kPOSIXErrorDomain, err->code(),
        "settings are not saved because " + path_ + " could not be read: " + why, err);
    std::fprintf(stderr, "kit: the settings file %s could not be read (%s); going on with empty settings "
                 "and leaving the file alone\n", path_.c_str(), why.c_str());
    return;
  }
  Ref<Error> moveErr;
  std::string moved = AtomicFile::moveAside(path_, &moveErr);
  if (!moved.empty()) {
    std::fprintf(stderr, "kit: the settings file %s is damaged (%s); it was moved to %s and the program "
                 "goes on with empty settings\n", path_.c_str(), why.c_str(), moved.c_str());
    return;
  }
  writeBlocked_ = Error::errorWithDescription(
      PropertyList::kErrorDomain, PropertyList::kReadCorruptError,
      "settings are not saved because the damaged file " + path_ + " could not be moved aside", moveErr);
  std::fprintf(stderr, "kit: the settings file %s is damaged (%s) and could not be moved aside (%s); going "
               "on with empty settings without saving them\n", path_.c_str(), why.c_str(),
               moveErr ? moveErr->localizedDescription().c_str() : "unknown error");
}

Object* UserDefaults::lookupLocked(std::string_view key) const {
  ensureLoadedLocked();
  if (Object* o = persistent_->objectForKey(key)) return o;
  return registered_->objectForKey(key);
}

Ref<Object> UserDefaults::objectForKey(std::string_view key) const {
  std::lock_guard<std::mutex> g(mutex_);
  return Ref<Object>(lookupLocked(key));
}

bool UserDefaults::exists(std::string_view key) const {
  std::lock_guard<std::mutex> g(mutex_);
  ensureLoadedLocked();
  return persistent_->objectForKey(key) != nullptr;
}

bool UserDefaults::boolForKey(std::string_view key) const {
  Ref<Object> o = objectForKey(key);
  if (auto* n = cast<Number>(o)) return n->boolValue();
  if (auto* s = cast<String>(o)) return s->boolValue();
  return false;
}

long UserDefaults::integerForKey(std::string_view key) const {
  Ref<Object> o = objectForKey(key);
  if (auto* n = cast<Number>(o)) return n->integerValue();
  if (auto* s = cast<String>(o)) return static_cast<long>(s->longLongValue());
  return 0;
}

float UserDefaults::floatForKey(std::string_view key) const { return static_cast<float>(doubleForKey(key)); }

double UserDefaults::doubleForKey(std::string_view key) const {
  Ref<Object> o = objectForKey(key);
  if (auto* n = cast<Number>(o)) return n->doubleValue();
  if (auto* s = cast<String>(o)) return s->doubleValue();
  return 0;
}

std::string UserDefaults::stringForKey(std::string_view key) const {
  Ref<Object> o = objectForKey(key);
  if (auto* s = cast<String>(o)) return s->str();
  if (auto* n = cast<Number>(o)) return n->stringValue();
  return {};
}

Ref<Array> UserDefaults::arrayForKey(std::string_view key) const {
  Ref<Object> o = objectForKey(key);
  return Ref<Array>(cast<Array>(o));
}

Ref<Dictionary> UserDefaults::dictionaryForKey(std::string_view key) const {
  Ref<Object> o = objectForKey(key);
  return Ref<Dictionary>(cast<Dictionary>(o));
}

Ref<Data> UserDefaults::dataForKey(std::string_view key) const {
  Ref<Object> o = objectForKey(key);
  return Ref<Data>(cast<Data>(o));
}

Ref<Dictionary> UserDefaults::dictionaryRepresentation() const {
  std::lock_guard<std::mutex> g(mutex_);
  ensureLoadedLocked();
  auto all = MutableDictionary::dictionary();
  all->addEntriesFromDictionary(*registered_);
  all->addEntriesFromDictionary(*persistent_);
  return make<Dictionary>(all->entries());
}

Ref<Dictionary> UserDefaults::persistentDomain() const {
  std::lock_guard<std::mutex> g(mutex_);
  ensureLoadedLocked();
  return make<Dictionary>(persistent_->entries());
}

bool UserDefaults::setObject(const Object* value, std::string_view key) {
  if (!value) {
    removeObjectForKey(key);
    return true;
  }
  std::shared_ptr<const KnownElements> known;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (auto it = knownElements_.find(key); it != knownElements_.end()) known = it->second;
  }
  PropertyList::TextRepairs repairs;
  Ref<Object> stored = known ? PropertyList::storableCopy(value, &repairs, [&known](const Object* o) {
    return known->count(o) > 0;
  }) : PropertyList::storableCopy(value, &repairs);
  Ref<Error> err;
  auto elements = std::make_shared<KnownElements>();
  const std::optional<uint64_t> length = arrayEntryLength(key, stored.get(), known.get(), *elements, &err);
  auto refuse = [&](const std::string& why) {
    std::fprintf(stderr, "kit: settings: the value for \"%.*s\" was refused: %s\n", static_cast<int>(key.size()),
                 key.data(), why.c_str());
    leftOut_.insert_or_assign(std::string(key), why);
    return false;
  };
  if (!length) {
    std::lock_guard<std::mutex> g(mutex_);
    ensureLoadedLocked();
    return refuse(err->localizedDescription());
  }
  bool changed = false;
  bool sayRepairs = false;
  {
    std::lock_guard<std::mutex> g(mutex_);
    ensureLoadedLocked();
    // A file the next start would refuse as too large would lose every
    // setting, so the value that would push it past that is the one refused.
    measureEntriesLocked();
    auto old = entryBytes_.find(key);
    const uint64_t others = entriesTotal_ - (old == entryBytes_.end() ? 0 : old->second);
    if (others + *length + kFileFraming > fileSizeLimit_)
      return refuse("the settings file would be larger than " + std::to_string(fileSizeLimit_ >> 20) +
                    " MiB, more than is read back at the next start");
    if (elements->empty())
      knownElements_.erase(std::string(key));
    else
      knownElements_.insert_or_assign(std::string(key), std::move(elements));
    if (!sameValue(persistent_->objectForKey(key), stored.get())) {
      entriesTotal_ = others + *length;
      if (old == entryBytes_.end())
        entryBytes_.emplace(std::string(key), *length);
      else
        old->second = *length;
      persistent_->setObject(stored, key);
      dirty_ = true;
      ++generation_;
      changed = true;
    }
    if (repairs.lostEntries > 0)
      leftOut_.insert_or_assign(std::string(key), std::to_string(repairs.lostEntries) +
                                                      " entries whose keys became equal once repaired");
    else if (auto it = leftOut_.find(key); it != leftOut_.end())
      leftOut_.erase(it);
    sayRepairs = repairs.strings > 0 && repairsReported_.emplace(key).second;
  }
  if (sayRepairs)
    std::fprintf(stderr, "kit: settings: the value for \"%.*s\" held text that cannot be stored (%zu string%s, the "
                 "first at %s); it was replaced with U+FFFD\n", static_cast<int>(key.size()), key.data(),
                 repairs.strings, repairs.strings == 1 ? "" : "s", repairs.firstAt.c_str());
  if (changed) postChange();
  return repairs.lostEntries == 0;
}

void UserDefaults::setBool(bool value, std::string_view key) { setObject(Number::numberWithBool(value), key); }
void UserDefaults::setInt(int value, std::string_view key) { setObject(Number::numberWithInt(value), key); }
void UserDefaults::setInteger(int64_t value, std::string_view key) {
  setObject(Number::numberWithLongLong(value), key);
}
void UserDefaults::setFloat(float value, std::string_view key) { setObject(Number::numberWithFloat(value), key); }
void UserDefaults::setDouble(double value, std::string_view key) {
  setObject(Number::numberWithDouble(value), key);
}
bool UserDefaults::setString(std::string_view value, std::string_view key) {
  return setObject(str(std::string(value)), key);
}

void UserDefaults::removeObjectForKey(std::string_view key) {
  bool changed = false;
  {
    std::lock_guard<std::mutex> g(mutex_);
    ensureLoadedLocked();
    if (auto it = leftOut_.find(key); it != leftOut_.end()) leftOut_.erase(it);
    if (auto it = knownElements_.find(key); it != knownElements_.end()) knownElements_.erase(it);
    if (persistent_->objectForKey(key)) {
      if (auto it = entryBytes_.find(key); it != entryBytes_.end()) {
        entriesTotal_ -= it->second;
        entryBytes_.erase(it);
      }
      persistent_->removeObjectForKey(key);
      dirty_ = true;
      ++generation_;
      changed = true;
    }
  }
  if (changed) postChange();
}

void UserDefaults::registerDefaults(const Dictionary* defaults) {
  if (!defaults) return;
  bool changed = false;
  {
    std::lock_guard<std::mutex> g(mutex_);
    defaults->enumerate([&](Object* k, Object* v, bool&) {
      Ref<Object> stored = PropertyList::immutableDeepCopy(v);
      if (sameValue(registered_->objectForKey(k), stored.get())) return;
      registered_->setObject(stored, Ref<Object>(k));
      changed = true;
    });
  }
  if (changed) postChange();
}

void UserDefaults::postChange() {
  NotificationCenter::defaultCenter().postNotification(kDidChangeNotification, this);
  double delay = autosaveDelay_.load();
  if (delay <= 0 || autosavePending_.exchange(true)) return;
  WeakRef<UserDefaults> weak(this);
  RunLoop::performOnMainThread([weak, delay] {
    Ref<UserDefaults> self = weak.lock();
    if (!self) return;
    RunLoop::main().performAfterDelay(self.get(), "autosave", nullptr, delay, [weak] {
      if (Ref<UserDefaults> d = weak.lock()) {
        d->autosavePending_ = false;
        d->autosaveInBackground();
      }
    });
  });
}

void UserDefaults::setAutosaveDelay(double seconds) { autosaveDelay_ = seconds > 0 ? seconds : 0; }

namespace {
// Autosave writes still under way anywhere in the process. The program ends
// through exit() wherever it ends, so an exit handler waits for them: a write
// cut off by static destruction would touch what is being torn down.
std::mutex gWritesMutex;
std::condition_variable gWritesEnded;
int gWrites = 0;

void waitForWritesAtExit() {
  std::unique_lock<std::mutex> g(gWritesMutex);
  gWritesEnded.wait_for(g, std::chrono::seconds(10), [] { return gWrites == 0; });
}
}  // namespace

void UserDefaults::autosaveInBackground() {
  static const bool waitsAtExit = std::atexit(waitForWritesAtExit) == 0;
  (void)waitsAtExit;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (autosaveWriting_) {
      autosaveAgain_ = true;
      return;
    }
    autosaveWriting_ = true;
  }
  Ref<UserDefaults> self(this);
  {
    std::lock_guard<std::mutex> g(gWritesMutex);
    ++gWrites;
  }
  std::thread([self]() mutable {
    for (;;) {
      self->write(nullptr);
      std::lock_guard<std::mutex> g(self->mutex_);
      if (!self->autosaveAgain_) break;
      self->autosaveAgain_ = false;
    }
    {
      std::lock_guard<std::mutex> g(self->mutex_);
      self->autosaveWriting_ = false;
    }
    self->autosaveEnded_.notify_all();
    self = nullptr;
    std::lock_guard<std::mutex> g(gWritesMutex);
    if (--gWrites == 0) gWritesEnded.notify_all();
  }).detach();
}

void UserDefaults::waitForAutosave() {
  std::unique_lock<std::mutex> g(mutex_);
  autosaveEnded_.wait(g, [this] { return !autosaveWriting_; });
}

void UserDefaults::measureEntriesLocked() const {
  if (entriesMeasured_) return;
  entriesMeasured_ = true;
  entryBytes_.clear();
  entriesTotal_ = 0;
  persistent_->enumerate([&](Object* k, Object* v, bool&) {
    auto* key = cast<String>(k);
    std::optional<uint64_t> length = key ? entryLength(key->view(), v) : std::nullopt;
    if (!length) return;
    entryBytes_.emplace(key->str(), *length);
    entriesTotal_ += *length;
  });
}

Ref<Error> UserDefaults::leftOutErrorLocked() const {
  if (leftOut_.empty()) return nullptr;
  std::string keys;
  for (auto& [k, why] : leftOut_) keys += (keys.empty() ? "\"" : ", \"") + k + "\"";
  return Error::errorWithDescription(kErrorDomain, kValueLeftOutError,
                                     "the settings were saved without the last value set for " + keys + ": " +
                                         leftOut_.begin()->second);
}

bool UserDefaults::synchronize(Ref<Error>* error) {
  waitForAutosave();
  return write(error);
}

bool UserDefaults::write(Ref<Error>* error) {
  if (error) *error = nullptr;
  std::lock_guard<std::mutex> w(writeMutex_);
  Ref<Dictionary> snapshot;
  uint64_t generation;
  std::string path;
  Ref<Error> leftOut;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (!persistent_) return true;
    leftOut = leftOutErrorLocked();
    if (!dirty_) {
      if (error) *error = leftOut;
      return !leftOut;
    }
    if (writeBlocked_) {
      if (error) *error = writeBlocked_;
      return false;
    }
    // Values are immutable, so a shallow copy is a stable snapshot.
    snapshot = make<Dictionary>(persistent_->entries());
    generation = generation_;
    path = path_;
  }
  Ref<Error> err = PropertyList::writeToFile(snapshot.get(), path, kFileMode);
  if (err) {
    if (error) *error = err;
    return false;
  }
  std::lock_guard<std::mutex> g(mutex_);
  if (generation_ == generation) dirty_ = false;
  if (error) *error = leftOut;
  return !leftOut;
}

bool UserDefaults::reload(Ref<Error>* error) {
  // Changes may land between the save and the drop; save again then.
  for (int attempt = 0; attempt < 8; ++attempt) {
    Ref<Error> err;
    bool saved = synchronize(&err);
    if (error) *error = err;
    // The file was written; what was left out is said in *error.
    if (!saved && err && err->domain() == kErrorDomain) saved = true;
    bool folderGone = !saved && isMissingFile(err.get());
    if (!saved && !folderGone) return false;
    std::lock_guard<std::mutex> g(mutex_);
    if (folderGone) {
      std::fprintf(stderr, "kit: the folder of %s is gone; unsaved settings were dropped\n", path_.c_str());
      dirty_ = false;
    }
    if (!dirty_) {
      persistent_ = nullptr;
      writeBlocked_ = nullptr;
      leftOut_.clear();
      return true;
    }
  }
  return false;
}

}  // namespace kit
