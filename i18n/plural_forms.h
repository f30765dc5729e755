// The plural rule of a catalog: how many forms its plural entries carry and
// which of them a count takes, read from the header's Plural-Forms field
// ("nplurals=3; plural=(n==1 ? 0 : n>=2 && n<=4 ? 1 : 2);").
//
// The field comes from a file beside the executable like the rest of the
// catalog, so its expression is parsed with bounds on its length and depth,
// and evaluated without undefined arithmetic: a division or remainder by
// zero, or a form the catalog does not have, gives the first form.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zephora {

// The form the source texts take without a catalog: the singular for
// exactly 1, the plural for any other count (n != 1, as in English).
template <typename String>
const String& SourceForm(const String& singular, const String& plural, std::uint64_t n) {
  return n == 1 ? singular : plural;
}

class PluralForms {
 public:
  // The rule of the source texts, and of a catalog that states none or one
  // that cannot be read: the first form for exactly 1, the second otherwise.
  PluralForms() = default;

  // Reads a Plural-Forms field; nothing when it is malformed, longer than
  // kMaxFieldLength, nested deeper than kMaxDepth, or states no usable count.
  static std::optional<PluralForms> Parse(std::string_view field);

  // The most forms a catalog may state, and the longest field and deepest
  // nesting that are read.
  static constexpr std::uint32_t kMaxForms = 32;
  static constexpr std::size_t kMaxFieldLength = 1024;
  static constexpr int kMaxDepth = 48;

  std::uint32_t Count() const { return count_; }
  // The form (from 0) that a text with count n takes.
  std::uint32_t FormFor(std::uint64_t n) const;

 private:
  enum class Op : std::uint8_t {
    Number,  // value
    Count,   // n
    Not,
    Multiply,
    Divide,
    Remainder,
    Add,
    Subtract,
    Less,
    Greater,
    LessOrEqual,
    GreaterOrEqual,
    Equal,
    NotEqual,
    And,
    Or,
    Conditional,  // a ? b : c
  };
  struct Node {
    Op op = Op::Number;
    std::uint64_t value = 0;
    std::uint32_t a = 0, b = 0, c = 0;  // operands, by index into nodes_
  };
  friend class PluralParser;

  // Nothing when the expression divides by zero. The recursion is as deep
  // as the tree, which the parser keeps within kMaxDepth.
  std::optional<std::uint64_t> Evaluate(std::uint32_t node, std::uint64_t n) const;

  std::uint32_t count_ = 2;
  std::vector<Node> nodes_;  // empty for the source texts' rule
  std::uint32_t root_ = 0;
};

}  // namespace zephora
