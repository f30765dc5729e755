#include "i18n/plural_forms.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <utility>

namespace zephora {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

// "name=value" with blanks allowed around "="; the value when the part is
// that setting.
std::optional<std::string_view> Setting(std::string_view part, std::string_view name) {
  part = TrimBlanks(part);
  if (part.substr(0, name.size()) != name)
    return std::nullopt;
  part = TrimBlanks(part.substr(name.size()));
  if (part.empty() || part.front() != '=')
    return std::nullopt;
  return TrimBlanks(part.substr(1));
}

std::optional<std::uint64_t> Decimal(std::string_view digits) {
  if (digits.empty())
    return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9')
      return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
      return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

// Recursive descent over the C operators that plural expressions use, with
// C's precedence: ?: (right to left), ||, &&, == !=, < > <= >=, + -, * / %,
// and unary !. Every nesting (parentheses, ?: branches, !) counts against
// kMaxDepth, and so does the depth of the tree it builds, since a long chain
// such as n+n+...+n nests no parentheses but makes a deep tree.
class PluralParser {
 public:
  using Op = PluralForms::Op;

  PluralParser(std::string_view text, PluralForms& rule) : text_(text), rule_(rule) {}

  bool Parse() {
    const auto root = Conditional();
    Blanks();
    if (!root || at_ != text_.size())
      return false;
    rule_.root_ = *root;
    return true;
  }

 private:
  using Result = std::optional<std::uint32_t>;

  void Blanks() {
    while (at_ < text_.size() && IsBlank(text_[at_]))
      ++at_;
  }

  bool Take(std::string_view token) {
    Blanks();
    if (text_.substr(at_, token.size()) != token)
      return false;
    // "<" must not take the first half of "<=", nor "!" of "!=".
    if (token.size() == 1 && (token == "<" || token == ">" || token == "!") &&
        text_.substr(at_ + 1, 1) == "=") {
      return false;
    }
    at_ += token.size();
    return true;
  }

  Result Node(Op op, std::uint64_t value, std::uint32_t a = 0, std::uint32_t b = 0,
              std::uint32_t c = 0, int operands = 0) {
    int depth = 1;
    const std::uint32_t children[] = {a, b, c};
    for (int i = 0; i < operands; ++i)
      depth = std::max(depth, depths_[children[i]] + 1);
    if (depth > PluralForms::kMaxDepth)
      return std::nullopt;
    rule_.nodes_.push_back({op, value, a, b, c});
    depths_.push_back(depth);
    return static_cast<std::uint32_t>(rule_.nodes_.size() - 1);
  }

  // Enters one level of nesting; false when that is one too many.
  bool Enter() { return ++nesting_ <= PluralForms::kMaxDepth; }

  Result Conditional() {
    if (!Enter())
      return std::nullopt;
    Result result = Or();
    if (result && Take("?")) {
      const Result whenTrue = Conditional();
      const Result whenFalse = whenTrue && Take(":") ? Conditional() : std::nullopt;
      result =
          whenFalse ? Node(Op::Conditional, 0, *result, *whenTrue, *whenFalse, 3) : std::nullopt;
    }
    --nesting_;
    return result;
  }

  // One level of left-associative binary operators over the next level.
  template <typename Operand>
  Result Binary(Operand operand, std::initializer_list<std::pair<std::string_view, Op>> ops) {
    Result left = (this->*operand)();
    while (left) {
      const auto found = std::find_if(ops.begin(), ops.end(),
                                      [this](const auto& entry) { return Take(entry.first); });
      if (found == ops.end())
        break;
      const Result right = (this->*operand)();
      left = right ? Node(found->second, 0, *left, *right, 0, 2) : std::nullopt;
    }
    return left;
  }

  Result Or() { return Binary(&PluralParser::And, {{"||", Op::Or}}); }
  Result And() { return Binary(&PluralParser::Equality, {{"&&", Op::And}}); }
  Result Equality() {
    return Binary(&PluralParser::Relation, {{"==", Op::Equal}, {"!=", Op::NotEqual}});
  }
  Result Relation() {
    return Binary(
        &PluralParser::Sum,
        {{"<=", Op::LessOrEqual}, {">=", Op::GreaterOrEqual}, {"<", Op::Less}, {">", Op::Greater}});
  }
  Result Sum() { return Binary(&PluralParser::Product, {{"+", Op::Add}, {"-", Op::Subtract}}); }
  Result Product() {
    return Binary(&PluralParser::Unary,
                  {{"*", Op::Multiply}, {"/", Op::Divide}, {"%", Op::Remainder}});
  }

  Result Unary() {
    if (Take("!")) {
      if (!Enter())
        return std::nullopt;
      const Result operand = Unary();
      --nesting_;
      return operand ? Node(Op::Not, 0, *operand, 0, 0, 1) : std::nullopt;
    }
    return Primary();
  }

  Result Primary() {
    Blanks();
    if (Take("(")) {
      const Result inner = Conditional();
      return inner && Take(")") ? inner : std::nullopt;
    }
    if (Take("n"))
      return Node(Op::Count, 0);
    const size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
      ++at_;
    const auto value = Decimal(text_.substr(start, at_ - start));
    return value ? Node(Op::Number, *value) : std::nullopt;
  }

  std::string_view text_;
  size_t at_ = 0;
  int nesting_ = 0;
  std::vector<int> depths_;  // of each node's subtree, by node index
  PluralForms& rule_;
};

std::optional<PluralForms> PluralForms::Parse(std::string_view field) {
  if (field.size() > kMaxFieldLength)
    return std::nullopt;
  std::optional<std::uint64_t> count;
  std::optional<std::string_view> expression;
  // The expression's grammar has no ";", so the field splits on it.
  while (!field.empty()) {
    const size_t end = std::min(field.find(';'), field.size());
    const std::string_view part = field.substr(0, end);
    if (const auto value = Setting(part, "nplurals")) {
      count = Decimal(*value);
    } else if (const auto text = Setting(part, "plural")) {
      expression = text;
    } else if (!TrimBlanks(part).empty()) {
      return std::nullopt;
    }
    field.remove_prefix(std::min(end + 1, field.size()));
  }
  if (!count || *count < 1 || *count > kMaxForms || !expression)
    return std::nullopt;
  PluralForms rule;
  rule.count_ = static_cast<std::uint32_t>(*count);
  if (!PluralParser(*expression, rule).Parse())
    return std::nullopt;
  return rule;
}

std::uint32_t PluralForms::FormFor(std::uint64_t n) const {
  if (nodes_.empty())
    return n == 1 ? 0 : 1;
  const auto form = Evaluate(root_, n);
  return form && *form < count_ ? static_cast<std::uint32_t>(*form) : 0;
}

std::optional<std::uint64_t> PluralForms::Evaluate(std::uint32_t index, std::uint64_t n) const {
  const Node& node = nodes_[index];
  switch (node.op) {
    case Op::Number:
      return node.value;
    case Op::Count:
      return n;
    case Op::Not: {
      const auto a = Evaluate(node.a, n);
      return a ? std::optional<std::uint64_t>(*a == 0) : std::nullopt;
    }
    case Op::And:
    case Op::Or: {
      // Only as far as C would evaluate: "n != 0 && 10 / n > 1" is sound.
      const auto a = Evaluate(node.a, n);
      if (!a)
        return std::nullopt;
      if ((*a != 0) == (node.op == Op::Or))
        return node.op == Op::Or ? 1 : 0;
      const auto b = Evaluate(node.b, n);
      return b ? std::optional<std::uint64_t>(*b != 0) : std::nullopt;
    }
    case Op::Conditional: {
      const auto a = Evaluate(node.a, n);
      if (!a)
        return std::nullopt;
      return Evaluate(*a != 0 ? node.b : node.c, n);
    }
    default:
      break;
  }
  const auto a = Evaluate(node.a, n);
  const auto b = a ? Evaluate(node.b, n) : std::nullopt;
  if (!b)
    return std::nullopt;
  // Unsigned arithmetic wraps as C's unsigned long does, never undefined.
  switch (node.op) {
    case Op::Multiply:
      return *a * *b;
    case Op::Divide:
      return *b == 0 ? std::nullopt : std::optional<std::uint64_t>(*a / *b);
    case Op::Remainder:
      return *b == 0 ? std::nullopt : std::optional<std::uint64_t>(*a % *b);
    case Op::Add:
      return *a + *b;
    case Op::Subtract:
      return *a - *b;
    case Op::Less:
      return *a < *b;
    case Op::Greater:
      return *a > *b;
    case Op::LessOrEqual:
      return *a <= *b;
    case Op::GreaterOrEqual:
      return *a >= *b;
    case Op::Equal:
      return *a == *b;
    case Op::NotEqual:
      return *a != *b;
    default:
      return std::nullopt;
  }
}

}  // namespace zephora
