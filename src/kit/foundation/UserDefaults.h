#pragma once
// Settings store: a dictionary of property-list values kept in memory and
// saved to one XML property-list file.
//
// - Memory is authoritative. Setters change it at once, mark it dirty and
//   post kDidChangeNotification (sender: this object) on the default
//   notification centre, on the calling thread, when the stored value really
//   changed. synchronize() writes the file atomically when dirty and is
//   cheap otherwise.
// - Values are stored as immutable deep copies and handed back as stored.
//   Text that XML cannot hold (control characters, U+FFFE/U+FFFF, ill-formed
//   UTF-8) is replaced with U+FFFD, said once per key on stderr, so one odd
//   page title never keeps a whole tree out. Other values that are not
//   property lists are refused with a message and the old value kept, so
//   one bad value can never stop every later save; but until the key is set
//   again or removed, synchronize() writes the rest and answers false with
//   kValueLeftOutError: a save that left something out is no success.
// - Two domains: the persistent one (the file) and a registration domain
//   (registerDefaults) that answers for keys the persistent one lacks and is
//   never written. exists(key) looks at the persistent domain only: the
//   browser's readers test exists() and fall back to defaults written in
//   their own code, while the one registered key ("UserAgent") is read with
//   objectForKey(). So exists() means "the user's stored value", and a
//   registered default can never hide a missing setting.
// - reload() / resetStandardUserDefaults() first save pending changes, then
//   drop the memory copy so the next access reads the file again; the
//   registration domain survives. If the save fails, nothing is dropped.
// - A missing file is an empty domain. A damaged file (malformed, binary, or
//   a root that is not a dictionary) is renamed aside with
//   AtomicFile::moveAside(), reported once on stderr, and the store goes on
//   empty; it is never overwritten. A file that exists but cannot be read
//   (permissions, I/O) is left alone and saving stays off until a reload
//   reads it. Anything but a regular file (a FIFO, a device) counts as
//   damaged. Temporary files that interrupted saves left behind are removed
//   when a path is first loaded.
// - Thread-safe.
//
// Create instances with make<UserDefaults>(path).

#include <cstdint>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "kit/foundation/Array.h"
#include "kit/foundation/Data.h"
#include "kit/foundation/Date.h"
#include "kit/foundation/Dictionary.h"
#include "kit/foundation/Error.h"
#include "kit/foundation/Object.h"
#include "kit/foundation/String.h"

namespace kit {

class UserDefaults : public Object {
 public:
  static constexpr const char* kDidChangeNotification = "UserDefaultsDidChangeNotification";
  static constexpr const char* kErrorDomain = "UserDefaultsErrorDomain";
  enum : long { kValueLeftOutError = 1 };

  explicit UserDefaults(std::string path);
  // Saves pending changes.
  ~UserDefaults() override;

  // The shared store, backed by Paths::preferencesFile() (resolved whenever
  // it (re)loads). Never destroyed; pending changes are saved at exit.
  static UserDefaults& standardUserDefaults();
  // reload() of the shared store.
  static void resetStandardUserDefaults();
  // Tests only: forgets the shared store's memory and registration domain
  // without saving, so the next access reads the file under the current
  // Paths (call after pointing TOLVA_HOME at a fresh folder).
  static void discardStandardUserDefaultsForTesting();

  // The file in use (for the shared store: the one last loaded).
  std::string path() const;

  // Reading. objectForKey falls back to the registration domain.
  Ref<Object> objectForKey(std::string_view key) const;
  bool exists(std::string_view key) const;
  // Numbers give their value; strings are read as text ("YES", "true", "1"
  // are true; numbers parsed from the start); anything else is false / 0.
  bool boolForKey(std::string_view key) const;
  long integerForKey(std::string_view key) const;
  float floatForKey(std::string_view key) const;
  double doubleForKey(std::string_view key) const;
  // A string, or a number's text; else "" (exists() tells "" from absent).
  std::string stringForKey(std::string_view key) const;
  Ref<Array> arrayForKey(std::string_view key) const;
  Ref<Dictionary> dictionaryForKey(std::string_view key) const;
  Ref<Data> dataForKey(std::string_view key) const;
  // Registration domain overlaid with the persistent one.
  Ref<Dictionary> dictionaryRepresentation() const;
  Ref<Dictionary> persistentDomain() const;

  // Writing. A null value removes the key. Answers false when the value is
  // not a property list or would make the file larger than the reader takes
  // back (fileSizeLimit): the old value is kept, and the refusal counts as
  // left out (see above). Also false when repairing its text merged two
  // dictionary keys (stored without one of them).
  bool setObject(const Object* value, std::string_view key);
  void setBool(bool value, std::string_view key);
  void setInt(int value, std::string_view key);
  void setInteger(int64_t value, std::string_view key);
  void setFloat(float value, std::string_view key);
  void setDouble(double value, std::string_view key);
  bool setString(std::string_view value, std::string_view key);
  bool setArray(const Array* value, std::string_view key) { return setObject(value, key); }
  bool setDictionary(const Dictionary* value, std::string_view key) { return setObject(value, key); }
  void setData(const Data* value, std::string_view key) { setObject(value, key); }
  void setDate(const Date* value, std::string_view key) { setObject(value, key); }
  void removeObjectForKey(std::string_view key);

  // The largest file a save may write: PropertyList::kMaxFileBytes, which is
  // what a load reads back (tests lower it).
  uint64_t fileSizeLimit() const noexcept { return fileSizeLimit_; }
  void setFileSizeLimit(uint64_t bytes) { fileSizeLimit_ = bytes; }

  // Adds to the registration domain (later calls override earlier keys).
  void registerDefaults(const Dictionary* defaults);

  // Writes the persistent domain when it changed since the last save. False
  // when that failed or when a value set since was left out (see above).
  bool synchronize(Ref<Error>* error = nullptr);
  // With a delay above 0, a change schedules a save on the main run loop that
  // many seconds later (changes meanwhile ride along), so stored settings
  // survive a crash without a write per change. Off (0) by default. The
  // file is written by a thread of its own, so that a large value (a big
  // bookmark tree) does not hold the main loop up; synchronize() first waits
  // for such a write under way.
  void setAutosaveDelay(double seconds);
  // Waits until no autosave write is under way.
  void waitForAutosave();
  // Saves, then drops the memory copy (see above). False when the save
  // failed and the memory copy was kept; a save that left a value out still
  // drops it, with *error saying what was left out. When the file's folder is gone
  // (the data was deleted) there is nothing to keep the changes in: they
  // are dropped with a message.
  bool reload(Ref<Error>* error = nullptr);

  std::string className() const override { return "UserDefaults"; }

  // The container elements of the array last stored under a key, each with
  // what it adds to the file: storable copies already, so an array set again
  // that shares them (a tree saved after a small edit) is copied and measured
  // only where it differs.
  struct KnownElement {
    Ref<Object> element;  // keeps the address from being reused
    uint64_t bytes;
  };
  using KnownElements = std::map<const Object*, KnownElement>;

 private:
  Object* lookupLocked(std::string_view key) const;
  void ensureLoadedLocked() const;
  void postChange();
  Ref<Error> leftOutErrorLocked() const;
  // Fills entryBytes_ for the loaded domain (once per load).
  void measureEntriesLocked() const;

  mutable std::mutex mutex_;
  std::mutex writeMutex_;  // one save at a time, in order
  mutable std::string path_;
  mutable std::string sweptPath_;  // whose stale temporary files are gone
  std::function<std::string()> pathProvider_;
  mutable Ref<MutableDictionary> persistent_;  // null until loaded
  Ref<MutableDictionary> registered_;
  mutable bool dirty_ = false;
  mutable uint64_t generation_ = 0;
  mutable Ref<Error> writeBlocked_;  // why saving is off, when it is
  std::map<std::string, std::string, std::less<>> leftOut_;  // key -> why its last value was not stored
  std::set<std::string, std::less<>> repairsReported_;       // keys whose text repair was said
  std::atomic<double> autosaveDelay_{0};
  std::atomic<uint64_t> fileSizeLimit_;
  // What each stored entry adds to the file, and their sum (valid while entriesMeasured_).
  mutable std::map<std::string, uint64_t, std::less<>> entryBytes_;
  mutable uint64_t entriesTotal_ = 0;
  mutable bool entriesMeasured_ = false;
  std::map<std::string, std::shared_ptr<const KnownElements>, std::less<>> knownElements_;  // by key
  std::atomic<bool> autosavePending_{false};
  // Starts the autosave's write on its own thread (one at a time; a save
  // asked for meanwhile follows it).
  void autosaveInBackground();
  bool write(Ref<Error>* error);
  std::condition_variable autosaveEnded_;
  bool autosaveWriting_ = false;  // under mutex_
  bool autosaveAgain_ = false;    // under mutex_
};

}  // namespace kit
