#include "transfer/verify/background_hash.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace zephora::verify {

BackgroundHash::BackgroundHash(std::size_t hashSize) {
  crypto_generichash_init(&state_, nullptr, 0, hashSize);
  for (auto& buffer : buffers_)
    buffer = std::make_unique<unsigned char[]>(kBufferSize);
}

BackgroundHash::~BackgroundHash() {
  Stop(true);
}

void BackgroundHash::Update(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const std::size_t piece = std::min(size, kBufferSize - filled_);
    std::memcpy(buffers_[filling_].get() + filled_, bytes, piece);
    filled_ += piece;
    bytes += piece;
    size -= piece;
    if (filled_ == kBufferSize)
      HandOver();
  }
}

void BackgroundHash::HandOver() {
  if (inPlace_) {
    crypto_generichash_update(&state_, buffers_[filling_].get(), filled_);
    filled_ = 0;
    return;
  }
  if (!thread_.joinable()) {
    // Small packages never fill a buffer, so they never cost a thread.
    try {
      thread_ = std::thread(&BackgroundHash::Run, this);
    } catch (const std::system_error&) {
      inPlace_ = true;
      HandOver();
      return;
    }
  }
  std::unique_lock lock(mutex_);
  lengths_[filling_] = filled_;
  ++queuedCount_;
  queued_.notify_one();
  filling_ = (filling_ + 1) % kBuffers;
  filled_ = 0;
  // The next buffer is free once the oldest is hashed: a fraction of a
  // millisecond for one buffer, far below a window's turn, so the wait
  // needs no slicing.
  freed_.wait(lock, [this] { return queuedCount_ < kBuffers; });
}

void BackgroundHash::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return queuedCount_ > 0 || closing_; });
    if (discard_ || queuedCount_ == 0)
      return;
    const std::size_t buffer = oldest_;
    lock.unlock();
    crypto_generichash_update(&state_, buffers_[buffer].get(), lengths_[buffer]);
    lock.lock();
    oldest_ = (oldest_ + 1) % kBuffers;
    --queuedCount_;
    freed_.notify_one();
  }
}

void BackgroundHash::Stop(bool discard) {
  if (!thread_.joinable())
    return;
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    discard_ = discard;
  }
  queued_.notify_one();
  thread_.join();
}

void BackgroundHash::Final(unsigned char* hash, std::size_t hashSize) {
  // The thread hashes every queued buffer before it ends; the one still
  // being filled comes after them.
  Stop(false);
  crypto_generichash_update(&state_, buffers_[filling_].get(), filled_);
  filled_ = 0;
  crypto_generichash_final(&state_, hash, hashSize);
}

}  // namespace zephora::verify
