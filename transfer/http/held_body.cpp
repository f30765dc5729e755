#include "transfer/http/held_body.h"

#include <algorithm>

namespace zephora::http {

int HeldBody::Write(const void* data, std::size_t size) {
  if (!passingOn_ && size <= limit_ - held_.size()) {
    // Grown by hand: the vector's own doubling could pass the bound.
    if (held_.size() + size > held_.capacity()) {
      held_.reserve(std::min(limit_, std::max(held_.size() + size, 2 * held_.capacity())));
    }
    const char* bytes = static_cast<const char*>(data);
    held_.insert(held_.end(), bytes, bytes + size);
    return 0;
  }
  if (!passingOn_) {
    passingOn_ = true;
    if (const int error = Release())
      return error;
  }
  return destination_.Write(data, size);
}

int HeldBody::Release() {
  int error = 0;
  if (!held_.empty())
    error = destination_.Write(held_.data(), held_.size());
  std::vector<char>().swap(held_);
  return error;
}

}  // namespace zephora::http
