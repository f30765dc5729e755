// The parts of an archive that entries have claimed. Legitimate archives
// never let two entries, or an entry and the central directory, share
// bytes; a package that does would have one small stream decoded over and
// over into a huge output.
#pragma once

#include <cstdint>
#include <map>
#include <memory_resource>

namespace zephora::zip {

class ByteSpans {
 public:
  // Claims [begin, end); false, claiming nothing, when it shares a byte
  // with a span already claimed. Logarithmic in the number of spans.
  [[nodiscard]] bool Claim(std::uint64_t begin, std::uint64_t end);
  void Clear() { spans_.clear(); }

 private:
  // Nodes come from a pool that keeps them for the next archive: no
  // allocation per entry.
  std::pmr::unsynchronized_pool_resource pool_;
  std::pmr::map<std::uint64_t, std::uint64_t> spans_{&pool_};  // begin -> end, disjoint
};

}  // namespace zephora::zip
