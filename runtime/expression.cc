#include "runtime/expression.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "runtime/declared.h"

namespace vantrose {

enum class Relation : uint8_t { kEqual, kNotEqual, kLess, kLessEqual, kGreater, kGreaterEqual };

enum class NodeKind : uint8_t { kNumber, kText, kField, kNegate, kCompare, kNot, kAnd, kOr };

struct FilterExpression::Node {
  explicit Node(NodeKind node_kind) : kind(node_kind) {}

  NodeKind kind;
  Relation relation = Relation::kEqual;  // kCompare
  FilterField field;                     // kField
  double number = 0;                     // kNumber
  // kNegate, kNot: first = the operand. kCompare: first, second = the two
  // sides. kAnd, kOr: operands_[first, first + second). kText: texts_[first,
  // first + second).
  uint32_t first = 0;
  uint32_t second = 0;
};

struct FilterExpression::Value {
  enum Kind : uint8_t { kNumber, kText, kUnknown } kind = kUnknown;
  double number = 0;
  const uint8_t* text = nullptr;
  size_t size = 0;

  static Value Number(double n) {
    Value v;
    v.kind = std::isnan(n) ? kUnknown : kNumber;
    v.number = n;
    return v;
  }
  static Value Text(const uint8_t* bytes, size_t size) {
    Value v;
    v.kind = kText;
    v.text = bytes;
    v.size = size;
    return v;
  }
  static Value FromTruth(Truth truth) {
    return truth == Truth::kUndecided ? Value() : Number(truth == Truth::kTrue ? 1 : 0);
  }
};

namespace {

using Value = FilterExpression::Value;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool EqualsWord(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != word[i]) return false;
  }
  return true;
}

// Length of the number that starts `text` (0 when none does).
size_t NumberLength(std::string_view text) {
  size_t i = 0;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      i = j;
    }
  }
  return i;
}

// The numeric value of a whole text (blanks around it allowed), or false.
bool TextAsNumber(const uint8_t* bytes, size_t size, double* number) {
  std::string_view text(reinterpret_cast<const char*>(bytes), size);
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || NumberLength(text) != text.size()) return false;
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() && result.ec != std::errc::result_out_of_range) return false;
  *number = negative ? -value : value;
  return true;
}

// Texts compare as if the shorter one were padded with blanks.
int CompareTexts(const Value& a, const Value& b) {
  const size_t common = std::min(a.size, b.size);
  if (const int c = std::memcmp(a.text, b.text, common)) return c;
  const Value& longer = a.size > b.size ? a : b;
  for (size_t i = common; i < longer.size; ++i) {
    if (longer.text[i] != ' ') {
      const int c = longer.text[i] < ' ' ? -1 : 1;
      return a.size > b.size ? c : -c;
    }
  }
  return 0;
}

Truth Condition(const Value& v) {
  switch (v.kind) {
    case Value::kNumber:
      return v.number != 0 ? Truth::kTrue : Truth::kFalse;
    case Value::kText:
      for (size_t i = 0; i < v.size; ++i) {
        if (v.text[i] != ' ') return Truth::kTrue;
      }
      return Truth::kFalse;
    case Value::kUnknown:
      break;
  }
  return Truth::kUndecided;
}

Truth Compare(Relation relation, const Value& a, const Value& b) {
  if (a.kind == Value::kUnknown || b.kind == Value::kUnknown) return Truth::kUndecided;
  int order;
  if (a.kind == Value::kText && b.kind == Value::kText) {
    order = CompareTexts(a, b);
  } else {
    double x = a.number;
    double y = b.number;
    if (a.kind == Value::kText && !TextAsNumber(a.text, a.size, &x)) return Truth::kUndecided;
    if (b.kind == Value::kText && !TextAsNumber(b.text, b.size, &y)) return Truth::kUndecided;
    order = x < y ? -1 : (x > y ? 1 : 0);
  }
  bool result = false;
  switch (relation) {
    case Relation::kEqual: result = order == 0; break;
    case Relation::kNotEqual: result = order != 0; break;
    case Relation::kLess: result = order < 0; break;
    case Relation::kLessEqual: result = order <= 0; break;
    case Relation::kGreater: result = order > 0; break;
    case Relation::kGreaterEqual: result = order >= 0; break;
  }
  return result ? Truth::kTrue : Truth::kFalse;
}

// Bytes a field of this type needs in its element (0: a text of any size;
// -1: a type whose value cannot be read here).
int FixedWidth(uint8_t type) {
  switch (type) {
    case TYPE_BYTE: return 1;
    case TYPE_SHORT: case TYPE_USHORT: return 2;
    case TYPE_DATE: case TYPE_TIME: case TYPE_LONG: case TYPE_ULONG: case TYPE_SREAL: return 4;
    case TYPE_REAL: return 8;
    case TYPE_DECIMAL: case TYPE_STRING: case TYPE_CSTRING: case TYPE_PSTRING: case TYPE_GROUP:
      return 0;
    // PDECIMAL is refused rather than guessed at: nothing fixes its nibble
    // layout as DECIMAL's is fixed, and a misread value would silently
    // filter the wrong records.
    default: return -1;
  }
}

template <typename T>
T Load(const uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof value);  // record fields are little-endian, as is the host
  return value;
}

// Packed decimal: the first nibble is the sign (0 positive, anything else
// negative), then 2 * size - 1 digits, the last `places` of them after the
// point.
Value ReadDecimal(const uint8_t* p, uint32_t size, uint8_t places) {
  double value = 0;
  for (uint32_t nibble = 1; nibble < 2 * size; ++nibble) {
    const uint8_t digit = (nibble % 2 == 0) ? (p[nibble / 2] >> 4) : (p[nibble / 2] & 0x0F);
    if (digit > 9) return Value();
    value = value * 10 + digit;
  }
  value /= std::pow(10.0, places);
  return Value::Number((p[0] >> 4) != 0 ? -value : value);
}

}  // namespace

class FilterExpression::Parser {
 public:
  Parser(std::string_view text, const FilterFields& fields, uint32_t record_length,
         FilterExpression& out)
      : text_(text), fields_(fields), record_length_(record_length), out_(out) {}

  int32_t Run() {
    Skip();
    uint32_t root;
    if (const int32_t error = ParseOr(&root)) return error;
    Skip();
    return position_ == text_.size() ? 0 : kInvalid;
  }

 private:
  void Skip() {
    while (position_ < text_.size() && IsBlank(text_[position_])) ++position_;
  }

  char Peek() const { return position_ < text_.size() ? text_[position_] : '\0'; }

  // Consumes the keyword when it stands next as a whole word.
  bool TakeWord(std::string_view word) {
    size_t end = position_;
    while (end < text_.size() && (IsLetter(text_[end]) || IsDigit(text_[end]) || text_[end] == ':')) {
      ++end;
    }
    if (!EqualsWord(text_.substr(position_, end - position_), word)) return false;
    position_ = end;
    Skip();
    return true;
  }

  uint32_t Add(Node node) {
    out_.nodes_.push_back(node);
    return static_cast<uint32_t>(out_.nodes_.size() - 1);
  }

  int32_t Enter() { return ++depth_ > kMaxNesting ? kInvalid : 0; }

  // AND and OR: one node over all operands of a chain, so that a long chain
  // does not nest.
  int32_t ParseChain(NodeKind kind, std::string_view word, uint32_t* node) {
    std::vector<uint32_t> operands(1);
    const auto parse_next = [&](uint32_t* operand) {
      return kind == NodeKind::kOr ? ParseChain(NodeKind::kAnd, "AND", operand) : ParseNot(operand);
    };
    if (const int32_t error = parse_next(&operands[0])) return error;
    while (TakeWord(word)) {
      operands.push_back(0);
      if (const int32_t error = parse_next(&operands.back())) return error;
    }
    if (operands.size() == 1) {
      *node = operands[0];
      return 0;
    }
    Node chain(kind);
    chain.first = static_cast<uint32_t>(out_.operands_.size());
    chain.second = static_cast<uint32_t>(operands.size());
    out_.operands_.insert(out_.operands_.end(), operands.begin(), operands.end());
    *node = Add(chain);
    return 0;
  }

  int32_t ParseOr(uint32_t* node) { return ParseChain(NodeKind::kOr, "OR", node); }

  int32_t ParseNot(uint32_t* node) {
    if (!TakeWord("NOT")) return ParseRelation(node);
    if (const int32_t error = Enter()) return error;
    Node negation(NodeKind::kNot);
    if (const int32_t error = ParseNot(&negation.first)) return error;
    --depth_;
    *node = Add(negation);
    return 0;
  }

  int32_t ParseRelation(uint32_t* node) {
    uint32_t left;
    if (const int32_t error = ParseOperand(&left)) return error;
    Relation relation;
    const char c = Peek();
    const char d = position_ + 1 < text_.size() ? text_[position_ + 1] : '\0';
    if (c == '=') {
      relation = Relation::kEqual;
      position_ += 1;
    } else if (c == '<' && d == '>') {
      relation = Relation::kNotEqual;
      position_ += 2;
    } else if (c == '<' && d == '=') {
      relation = Relation::kLessEqual;
      position_ += 2;
    } else if (c == '<') {
      relation = Relation::kLess;
      position_ += 1;
    } else if (c == '>' && d == '=') {
      relation = Relation::kGreaterEqual;
      position_ += 2;
    } else if (c == '>') {
      relation = Relation::kGreater;
      position_ += 1;
    } else {
      *node = left;
      return 0;
    }
    Skip();
    Node comparison(NodeKind::kCompare);
    comparison.relation = relation;
    comparison.first = left;
    if (const int32_t error = ParseOperand(&comparison.second)) return error;
    *node = Add(comparison);
    return 0;
  }

  int32_t ParseOperand(uint32_t* node) {
    const char c = Peek();
    if (c == '-' || c == '+') {
      ++position_;
      Skip();
      if (const int32_t error = Enter()) return error;
      uint32_t operand;
      if (const int32_t error = ParseOperand(&operand)) return error;
      --depth_;
      if (c == '+') {
        *node = operand;
      } else {
        Node negation(NodeKind::kNegate);
        negation.first = operand;
        *node = Add(negation);
      }
      return 0;
    }
    if (c == '(') {
      ++position_;
      Skip();
      if (const int32_t error = Enter()) return error;
      if (const int32_t error = ParseOr(node)) return error;
      --depth_;
      if (Peek() != ')') return kInvalid;
      ++position_;
      Skip();
      return 0;
    }
    if (c == '\'' || c == '"') return ParseText(c, node);
    if (IsDigit(c) || c == '.') return ParseNumber(node);
    if (IsLetter(c)) return ParseName(node);
    return kInvalid;
  }

  int32_t ParseNumber(uint32_t* node) {
    const std::string_view rest = text_.substr(position_);
    const size_t length = NumberLength(rest);
    if (length == 0) return kInvalid;
    Node number(NodeKind::kNumber);
    const auto result = std::from_chars(rest.data(), rest.data() + length, number.number);
    if (result.ec != std::errc() && result.ec != std::errc::result_out_of_range) return kInvalid;
    position_ += length;
    if (IsLetter(Peek()) || IsDigit(Peek())) return kInvalid;  // "12abc"
    Skip();
    *node = Add(number);
    return 0;
  }

  int32_t ParseText(char quote, uint32_t* node) {
    Node text(NodeKind::kText);
    text.first = static_cast<uint32_t>(out_.texts_.size());
    ++position_;
    for (;;) {
      if (position_ >= text_.size()) return kInvalid;  // no closing quote
      const char c = text_[position_++];
      if (c == quote) {
        if (Peek() != quote) break;
        ++position_;
      }
      out_.texts_.push_back(c);
    }
    text.second = static_cast<uint32_t>(out_.texts_.size() - text.first);
    Skip();
    *node = Add(text);
    return 0;
  }

  int32_t ParseName(uint32_t* node) {
    const size_t start = position_;
    while (position_ < text_.size() &&
           (IsLetter(text_[position_]) || IsDigit(text_[position_]) || text_[position_] == ':')) {
      ++position_;
    }
    const std::string_view name = text_.substr(start, position_ - start);
    if (EqualsWord(name, "AND") || EqualsWord(name, "OR") || EqualsWord(name, "NOT")) {
      return kInvalid;
    }
    Node field(NodeKind::kField);
    if (!fields_.Find(name, &field.field)) return kUnbound;
    const int width = FixedWidth(field.field.type);
    const uint32_t size = field.field.element_size;
    if (width < 0 || size == 0 || size < static_cast<uint32_t>(width) ||
        field.field.offset > record_length_ || size > record_length_ - field.field.offset) {
      return kUnbound;
    }
    Skip();
    *node = Add(field);
    return 0;
  }

  std::string_view text_;
  const FilterFields& fields_;
  const uint32_t record_length_;
  FilterExpression& out_;
  size_t position_ = 0;
  int depth_ = 0;
};

FilterExpression::FilterExpression() = default;
FilterExpression::~FilterExpression() = default;

int32_t FilterExpression::Compile(std::string_view text, const FilterFields& fields,
                                  const uint8_t* record, uint32_t record_length,
                                  std::unique_ptr<FilterExpression>* expression) {
  expression->reset();
  std::unique_ptr<FilterExpression> compiled(new FilterExpression());
  compiled->record_ = record;
  Parser parser(text, fields, record_length, *compiled);
  if (const int32_t error = parser.Run()) return error;
  *expression = std::move(compiled);
  return 0;
}

Truth FilterExpression::Evaluate() const {
  return Condition(Eval(static_cast<uint32_t>(nodes_.size() - 1)));
}

FilterExpression::Value FilterExpression::ReadField(const FilterField& field) const {
  const uint8_t* p = record_ + field.offset;
  const uint32_t size = field.element_size;
  switch (field.type) {
    case TYPE_BYTE: return Value::Number(p[0]);
    case TYPE_SHORT: return Value::Number(Load<int16_t>(p));
    case TYPE_USHORT: return Value::Number(Load<uint16_t>(p));
    case TYPE_LONG: return Value::Number(Load<int32_t>(p));
    case TYPE_DATE: case TYPE_TIME: case TYPE_ULONG: return Value::Number(Load<uint32_t>(p));
    case TYPE_SREAL: return Value::Number(Load<float>(p));
    case TYPE_REAL: return Value::Number(Load<double>(p));
    case TYPE_DECIMAL: return ReadDecimal(p, size, field.places);
    case TYPE_CSTRING: {
      const void* end = std::memchr(p, 0, size);
      return Value::Text(p, end ? static_cast<const uint8_t*>(end) - p : size);
    }
    case TYPE_PSTRING: return Value::Text(p + 1, std::min<uint32_t>(p[0], size - 1));
    default: return Value::Text(p, size);  // STRING, GROUP
  }
}

FilterExpression::Value FilterExpression::Eval(uint32_t index) const {
  const Node& node = nodes_[index];
  switch (node.kind) {
    case NodeKind::kNumber:
      return Value::Number(node.number);
    case NodeKind::kText:
      return Value::Text(reinterpret_cast<const uint8_t*>(texts_.data()) + node.first, node.second);
    case NodeKind::kField:
      return ReadField(node.field);
    case NodeKind::kNegate: {
      Value v = Eval(node.first);
      if (v.kind == Value::kText && !TextAsNumber(v.text, v.size, &v.number)) return Value();
      return v.kind == Value::kUnknown ? v : Value::Number(-v.number);
    }
    case NodeKind::kCompare:
      return Value::FromTruth(Compare(node.relation, Eval(node.first), Eval(node.second)));
    case NodeKind::kNot: {
      const Truth t = Condition(Eval(node.first));
      return Value::FromTruth(t == Truth::kUndecided ? t : (t == Truth::kTrue ? Truth::kFalse : Truth::kTrue));
    }
    case NodeKind::kAnd:
    case NodeKind::kOr: {
      // The value that settles the chain at once: false for AND, true for OR.
      const Truth settles = node.kind == NodeKind::kAnd ? Truth::kFalse : Truth::kTrue;
      bool undecided = false;
      for (uint32_t i = 0; i < node.second; ++i) {
        const Truth t = Condition(Eval(operands_[node.first + i]));
        if (t == settles) return Value::FromTruth(settles);
        if (t == Truth::kUndecided) undecided = true;
      }
      if (undecided) return Value();
      return Value::FromTruth(settles == Truth::kFalse ? Truth::kTrue : Truth::kFalse);
    }
  }
  return Value();
}

}  // namespace vantrose
