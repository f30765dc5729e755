// BLAKE2b hashing on a second thread, so that a download's hash costs no
// time on the thread that receives and writes: each piece is copied into
// one of a few fixed buffers and hashed while the next ones arrive.
#pragma once

#include <sodium.h>

#include <array>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

namespace zephora::verify {

class BackgroundHash {
 public:
  // Hashing is cheaper per byte than receiving, so a few buffers are enough
  // to keep both threads busy; together they are all the memory it holds.
  static constexpr std::size_t kBufferSize = 256 * 1024;
  static constexpr std::size_t kBuffers = 3;

  explicit BackgroundHash(std::size_t hashSize);
  // Stops the hashing thread without hashing what is still queued.
  ~BackgroundHash();
  BackgroundHash(const BackgroundHash&) = delete;
  BackgroundHash& operator=(const BackgroundHash&) = delete;

  // Takes the next bytes, in order. Waits only while every buffer is
  // queued, that is for at most one buffer's hashing.
  void Update(const void* data, std::size_t size);
  // Waits for everything taken to be hashed and writes the hash; nothing
  // may be taken after it.
  void Final(unsigned char* hash, std::size_t hashSize);

 private:
  void HandOver();
  void Run();
  void Stop(bool discard);

  crypto_generichash_state state_;
  std::array<std::unique_ptr<unsigned char[]>, kBuffers> buffers_;
  std::array<std::size_t, kBuffers> lengths_{};
  // The receiving thread's own buffer, and how much of it is filled.
  std::size_t filling_ = 0;
  std::size_t filled_ = 0;
  // Whether a thread could not be had, so everything is hashed in place.
  bool inPlace_ = false;

  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable freed_;
  // Guarded by mutex_: the ring of queued buffers, the oldest (the one
  // being hashed) first; and whether the thread is to end.
  std::size_t oldest_ = 0;
  std::size_t queuedCount_ = 0;
  bool closing_ = false;
  bool discard_ = false;
  std::thread thread_;
};

}  // namespace zephora::verify
