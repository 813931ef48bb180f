#pragma once
// Room for the objects one parse makes, cut from large chunks instead of one
// heap block each. The objects are ordinary counted kit objects: each is
// freed on its own through its class's operator delete, which gives its room
// back to its chunk; a chunk goes back to the heap when the last of its
// objects is gone and the arena has moved on. So a tree costs a handful of
// heap calls and lies compactly in memory, while a caller that keeps one
// value keeps only that value's chunk.
//
// Emptied full-size chunks are kept for later parses, as many as recent
// parses needed (see ObjectArena.cpp).
//
// Every object carries a pointer to its chunk just in front of it. The
// arena itself is used by one thread (the parsing one); its objects may be
// released on any thread.

#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define KIT_OBJECT_ARENA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIT_OBJECT_ARENA_ASAN 1
#endif
#endif
#ifdef KIT_OBJECT_ARENA_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace kit {

class ObjectArena {
 public:
  // `expectedBytes` (the input's length) sizes the first chunk, so a small
  // parse takes a small chunk.
  explicit ObjectArena(size_t expectedBytes) noexcept;
  // Lets go of the open chunk: it lives on until its last object goes.
  ~ObjectArena();
  ObjectArena(const ObjectArena&) = delete;
  ObjectArena& operator=(const ObjectArena&) = delete;

  // Room for one object of `bytes`, 8-byte aligned; throws std::bad_alloc.
  void* allocate(size_t bytes) {
    size_t room = (bytes + 7) & ~size_t{7};
    size_t need = kHeaderBytes + room + kRedzoneBytes;
    if (room < bytes || need > static_cast<size_t>(top_ - floor_)) return allocateSlow(bytes);
    top_ -= need;
    char* p = top_;
    ++handedOut_;
    // Fresh room is written at once: ask for the lines below ahead of time.
    // (The address may lie outside the chunk: a prefetch never faults.)
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(p) - 512), 1);
    return placeHeader(p, chunk_, room);
  }
  // Gives back the room of an object made by allocate(); any thread. Under
  // AddressSanitizer all of the object's room becomes unaddressable, so a
  // use after release is caught as with the heap.
  static void release(void* object, size_t size) noexcept;
  // Frees the chunks kept for later parses (a caller done parsing for a
  // while gives their memory back).
  static void releasePooledChunks() noexcept;

  static constexpr size_t kMaxChunkBytes = 64 * 1024;
  static constexpr size_t kMinChunkBytes = 512;

 private:
  struct Chunk {
    // Objects handed out and not yet released, plus kOpen while the arena
    // still cuts from the chunk (the arena adds what it handed out when it
    // lets go, so releases meanwhile never reach zero).
    std::atomic<size_t> live;
    size_t bytes;  // the whole block's size
  };
  static constexpr size_t kOpen = size_t{1} << 62;

  // In front of every object: its chunk, and under AddressSanitizer its
  // room's size; behind it, under AddressSanitizer, a poisoned gap that an
  // overflow runs into.
#ifdef KIT_OBJECT_ARENA_ASAN
  static constexpr size_t kHeaderBytes = 2 * sizeof(void*);
  static constexpr size_t kRedzoneBytes = 16;
#else
  static constexpr size_t kHeaderBytes = sizeof(void*);
  static constexpr size_t kRedzoneBytes = 0;
#endif
  static void* placeHeader(char* p, Chunk* chunk, size_t room) noexcept {
#ifdef KIT_OBJECT_ARENA_ASAN
    ASAN_UNPOISON_MEMORY_REGION(p, kHeaderBytes + room);
    reinterpret_cast<size_t*>(p)[0] = room;
#else
    (void)room;
#endif
    *reinterpret_cast<Chunk**>(p + kHeaderBytes - sizeof(Chunk*)) = chunk;
    return p + kHeaderBytes;
  }

  void* allocateSlow(size_t bytes);
  void close() noexcept;
  static void dispose(Chunk* chunk) noexcept;

  Chunk* chunk_ = nullptr;  // the open chunk
  // Room is cut from the top of the open chunk down: the parser makes
  // children before their parents, so a walk from a parent to its children
  // (writing, releasing) then runs up through memory, as prefetchers like.
  char* floor_ = nullptr;
  char* top_ = nullptr;
  size_t handedOut_ = 0;  // objects cut from the open chunk
  size_t nextChunkBytes_;
  size_t fullChunks_ = 0;  // full-size chunks taken, for the pool's sizing
};

// For a class whose objects are cut from an arena together with room right
// behind them (their first storage): inherit privately and make one with
// `new (arena, Trailing{bytes}) T(...)`; it frees itself into the arena.
class ObjectArenaRoom {
 public:
  struct Trailing {
    size_t bytes;
  };
  static void* operator new(size_t size, ObjectArena& arena, Trailing extra) {
    return arena.allocate(size + extra.bytes);
  }
  static void operator delete(void* p, ObjectArena&, Trailing) noexcept { ObjectArena::release(p, 0); }
  static void operator delete(void* p, size_t size) noexcept { ObjectArena::release(p, size); }

 protected:
  ObjectArenaRoom() = default;
};

}  // namespace kit
