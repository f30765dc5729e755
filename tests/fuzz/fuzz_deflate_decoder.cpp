// libFuzzer target for the Deflate decoder of method 8, ISA-L's inflate
// behind our decoder interface. ISA-L decodes in assembly, which the
// sanitizers do not see into, so its input and output spans end right
// before a page that may not be touched: a read or write past them faults.
// Besides, it traps when the decoder stalls, decodes differently when fed
// one byte at a time, or disagrees with zlib on a stream that zlib decodes.
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "transfer/zip/library_decoders.h"

namespace {

using zephora::zip::DecodeStatus;

constexpr std::size_t kMaxOutput = 1 << 16;

// `size` bytes that end where an inaccessible page begins.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(std::size_t size) : size_(size) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    mapped_ = (size + page - 1) / page * page + page;
    base_ = static_cast<std::uint8_t*>(
        mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (base_ == MAP_FAILED || mprotect(base_ + mapped_ - page, page, PROT_NONE) != 0)
      __builtin_trap();
  }
  ~GuardedBuffer() { munmap(base_, mapped_); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  std::uint8_t* end() { return base_ + mapped_ - sysconf(_SC_PAGESIZE); }
  std::span<std::uint8_t> span() { return {end() - size_, size_}; }

 private:
  std::size_t size_;
  std::size_t mapped_ = 0;
  std::uint8_t* base_ = nullptr;
};

struct Outcome {
  DecodeStatus status = DecodeStatus::Ok;  // Ok: stopped at kMaxOutput
  std::vector<std::uint8_t> bytes;
};

// Feeds the stream in pieces of `inStep` bytes, each copied to the end of a
// guarded buffer, with `outStep` bytes of guarded room.
Outcome Run(const std::uint8_t* data, std::size_t size, std::size_t inStep, std::size_t outStep) {
  Outcome outcome;
  auto decoder = zephora::zip::MakeDeflateDecoder({8, 0, size, 0});
  GuardedBuffer input(std::min(inStep, size));
  GuardedBuffer room(outStep);
  std::size_t position = 0;
  while (outcome.bytes.size() < kMaxOutput) {
    const std::size_t piece = std::min(inStep, size - position);
    const bool inputEnd = position + piece == size;
    std::uint8_t* at = input.end() - piece;
    std::memcpy(at, data + position, piece);
    const auto step = decoder->Decode({at, piece}, inputEnd, room.span());
    if (step.consumed > piece || step.produced > outStep)
      __builtin_trap();
    position += step.consumed;
    const std::uint8_t* out = room.span().data();
    outcome.bytes.insert(outcome.bytes.end(), out, out + step.produced);
    outcome.status = step.status;
    if (step.status == DecodeStatus::Error) {
      if (decoder->ErrorMessage().find(" input byte ") == std::string::npos)
        __builtin_trap();
      return outcome;
    }
    if (step.status == DecodeStatus::Done)
      return outcome;
    if (step.consumed == 0 && step.produced == 0) {
      if (!inputEnd)
        __builtin_trap();  // stuck with input and room left
      outcome.status = DecodeStatus::Error;
      return outcome;
    }
  }
  outcome.status = DecodeStatus::Ok;
  return outcome;
}

Outcome Zlib(const std::uint8_t* data, std::size_t size) {
  Outcome outcome;
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
    __builtin_trap();
  std::vector<std::uint8_t> room(kMaxOutput);
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);
  stream.next_out = room.data();
  stream.avail_out = static_cast<uInt>(room.size());
  const int rc = inflate(&stream, Z_FINISH);
  outcome.bytes.assign(room.data(), room.data() + stream.total_out);
  outcome.status = rc == Z_STREAM_END                           ? DecodeStatus::Done
                   : rc == Z_BUF_ERROR && stream.avail_out == 0 ? DecodeStatus::Ok
                                                                : DecodeStatus::Error;
  inflateEnd(&stream);
  return outcome;
}

bool SamePrefix(const Outcome& a, const Outcome& b) {
  const std::size_t n = std::min(a.bytes.size(), b.bytes.size());
  return std::equal(a.bytes.begin(), a.bytes.begin() + static_cast<std::ptrdiff_t>(n),
                    b.bytes.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1 << 16)
    return 0;
  const Outcome whole = Run(data, size, size, 4096);
  const Outcome bytewise = Run(data, size, 1, 1);
  if (whole.status != bytewise.status || !SamePrefix(whole, bytewise))
    __builtin_trap();
  // A stream that zlib decodes completely is valid, and has one decoding.
  const Outcome reference = Zlib(data, size);
  if (reference.status == DecodeStatus::Done &&
      (whole.status != DecodeStatus::Done || whole.bytes != reference.bytes)) {
    __builtin_trap();
  }
  if (reference.status == DecodeStatus::Ok && !SamePrefix(whole, reference))
    __builtin_trap();
  return 0;
}
