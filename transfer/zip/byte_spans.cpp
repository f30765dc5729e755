#include "transfer/zip/byte_spans.h"

#include <iterator>

namespace zephora::zip {

bool ByteSpans::Claim(std::uint64_t begin, std::uint64_t end) {
  if (begin >= end)
    return true;  // an empty span shares nothing
  // Disjoint spans sorted by their start are sorted by their end too, so
  // only the neighbours on either side can overlap.
  const auto next = spans_.lower_bound(begin);
  if (next != spans_.end() && next->first < end)
    return false;
  if (next != spans_.begin() && std::prev(next)->second > begin)
    return false;
  spans_.emplace_hint(next, begin, end);
  return true;
}

}  // namespace zephora::zip
