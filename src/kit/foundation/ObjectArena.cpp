#include "kit/foundation/ObjectArena.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <new>

namespace kit {
namespace {

// Full-size chunks whose objects are all gone wait here for the next parse:
// handing them back to the heap lets it return the pages to the system, and
// the next large parse would pay a page fault for every 4 KiB. The pool keeps
// as many as the largest of the last few parses took, so a repeated workload
// runs from warm memory while a single large parse is forgotten after a few
// small ones.
class ChunkPool {
 public:
  static constexpr size_t kFloorChunks = 16;
  static constexpr size_t kCeilingChunks = (size_t{256} << 20) / ObjectArena::kMaxChunkBytes;
  static constexpr size_t kHistory = 4;

  void* take() noexcept {
    std::lock_guard<std::mutex> g(mutex_);
    if (!head_) return nullptr;
    Free* f = head_;
    head_ = f->next;
    --count_;
#ifdef KIT_OBJECT_ARENA_ASAN
    ASAN_UNPOISON_MEMORY_REGION(f, ObjectArena::kMaxChunkBytes);
#endif
    return f;
  }
  // False when the pool is full (the caller frees the chunk).
  bool give(void* chunk) noexcept {
    std::lock_guard<std::mutex> g(mutex_);
    if (count_ >= keep_) return false;
    head_ = new (chunk) Free{head_};
    ++count_;
#ifdef KIT_OBJECT_ARENA_ASAN
    // A waiting chunk belongs to no object: any touch of it is a use after release.
    ASAN_POISON_MEMORY_REGION(reinterpret_cast<char*>(chunk) + sizeof(Free),
                              ObjectArena::kMaxChunkBytes - sizeof(Free));
#endif
    return true;
  }
  // Frees every waiting chunk and forgets the recent parses' sizes.
  void drain() noexcept {
    Free* all;
    {
      std::lock_guard<std::mutex> g(mutex_);
      all = head_;
      head_ = nullptr;
      count_ = 0;
      for (size_t& r : recent_) r = 0;
      keep_ = kFloorChunks;
    }
    freeAll(all);
  }
  // A parse finished having taken `chunks` full-size chunks: sets how many
  // the pool keeps and frees the rest.
  void noteParse(size_t chunks) noexcept {
    Free* excess = nullptr;
    {
      std::lock_guard<std::mutex> g(mutex_);
      recent_[next_++ % kHistory] = chunks;
      keep_ = kFloorChunks;
      for (size_t r : recent_) keep_ = std::max(keep_, r);
      keep_ = std::min(keep_, kCeilingChunks);
      while (count_ > keep_) {
        Free* f = head_;
        head_ = f->next;
        --count_;
        f->next = excess;
        excess = f;
      }
    }
    freeAll(excess);
  }

 private:
  struct Free {
    Free* next;
  };
  // Gives a list of chunks back to the heap (outside the lock).
  static void freeAll(Free* list) noexcept {
    while (list) {
      Free* f = list;
      list = f->next;
#ifdef KIT_OBJECT_ARENA_ASAN
      ASAN_UNPOISON_MEMORY_REGION(f, ObjectArena::kMaxChunkBytes);
#endif
      std::free(f);
    }
  }
  std::mutex mutex_;
  Free* head_ = nullptr;
  size_t count_ = 0;
  size_t keep_ = kFloorChunks;
  size_t recent_[kHistory] = {};
  size_t next_ = 0;
};

ChunkPool& pool() {
  static ChunkPool* p = new ChunkPool();  // lives to the end of the process, chunks and all
  return *p;
}

}  // namespace

ObjectArena::ObjectArena(size_t expectedBytes) noexcept
    : nextChunkBytes_((std::clamp(expectedBytes * 2, kMinChunkBytes, kMaxChunkBytes) + 63) & ~size_t{63}) {}

ObjectArena::~ObjectArena() {
  close();
  if (fullChunks_) pool().noteParse(fullChunks_);
}

void ObjectArena::dispose(Chunk* chunk) noexcept {
  size_t bytes = chunk->bytes;
  chunk->~Chunk();
#ifdef KIT_OBJECT_ARENA_ASAN
  ASAN_UNPOISON_MEMORY_REGION(chunk, bytes);
#endif
  if (bytes == kMaxChunkBytes && pool().give(chunk)) return;
  std::free(chunk);
}

void ObjectArena::close() noexcept {
  if (!chunk_) return;
  Chunk* chunk = chunk_;
  size_t delta = handedOut_ - kOpen;  // wraps: adds handedOut_, takes kOpen away
  chunk_ = nullptr;
  floor_ = top_ = nullptr;
  handedOut_ = 0;
  if (chunk->live.fetch_add(delta, std::memory_order_acq_rel) + delta == 0) dispose(chunk);
}

void* ObjectArena::allocateSlow(size_t bytes) {
  size_t rounded = (bytes + 7) & ~size_t{7};
  if (rounded < bytes || rounded > SIZE_MAX / 2) throw std::bad_alloc();
  size_t need = sizeof(Chunk) + kHeaderBytes + rounded + kRedzoneBytes;
  if (need > kMaxChunkBytes / 4) {
    // A big object (a long array, a large table) gets a chunk of its own, so
    // the open chunk's remaining room is not wasted.
    void* block = std::malloc(need);
    if (!block) throw std::bad_alloc();
    auto* chunk = new (block) Chunk{1, need};
#ifdef KIT_OBJECT_ARENA_ASAN
    ASAN_POISON_MEMORY_REGION(static_cast<char*>(block) + sizeof(Chunk), need - sizeof(Chunk));
#endif
    return placeHeader(static_cast<char*>(block) + sizeof(Chunk), chunk, rounded);
  }
  size_t size = std::max(nextChunkBytes_, need);
  void* block = size == kMaxChunkBytes ? pool().take() : nullptr;
  if (!block) block = std::malloc(size);
  if (!block) throw std::bad_alloc();
  close();
  chunk_ = new (block) Chunk{kOpen, size};
  floor_ = static_cast<char*>(block) + sizeof(Chunk);
  top_ = static_cast<char*>(block) + size;
#ifdef KIT_OBJECT_ARENA_ASAN
  // Room not yet handed out, and the gaps between objects, stay unaddressable.
  ASAN_POISON_MEMORY_REGION(floor_, static_cast<size_t>(top_ - floor_));
#endif
  nextChunkBytes_ = std::min(nextChunkBytes_ * 2, kMaxChunkBytes);
  if (size == kMaxChunkBytes) ++fullChunks_;
  return allocate(bytes);
}

void ObjectArena::release(void* object, size_t size) noexcept {
  (void)size;  // the room may be larger than the object (a collection's first storage)
  Chunk* chunk = reinterpret_cast<Chunk**>(object)[-1];
#ifdef KIT_OBJECT_ARENA_ASAN
  ASAN_POISON_MEMORY_REGION(object, reinterpret_cast<size_t*>(object)[-2]);
#endif
  if (chunk->live.fetch_sub(1, std::memory_order_acq_rel) == 1) dispose(chunk);
}

void ObjectArena::releasePooledChunks() noexcept { pool().drain(); }

}  // namespace kit
