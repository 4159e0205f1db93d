#include "runtime/expression.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>

#include "runtime/declared.h"

namespace vantrose {
namespace {

// A small record:
//   0 TITLE STRING(10)   10 PRICE DECIMAL(7,2)   14 COUNT LONG   18 FLAG BYTE
//  19 NAME CSTRING(6)    25 PNAME PSTRING(6)     31 RATE REAL    39 SMALL SHORT
//  41 NOTES MEMO         45 WHEN DATE            0 HEAD GROUP(14)
constexpr uint32_t kRecordLength = 49;

class Fields : public FilterFields {
 public:
  Fields() {
    Add("TST:TITLE", {TYPE_STRING, 0, 10, 0});
    Add("TST:PRICE", {TYPE_DECIMAL, 10, 4, 2});
    Add("TST:COUNT", {TYPE_LONG, 14, 4, 0});
    Add("TST:FLAG", {TYPE_BYTE, 18, 1, 0});
    Add("TST:NAME", {TYPE_CSTRING, 19, 6, 0});
    Add("TST:PNAME", {TYPE_PSTRING, 25, 6, 0});
    Add("TST:RATE", {TYPE_REAL, 31, 8, 0});
    Add("TST:SMALL", {TYPE_SHORT, 39, 2, 0});
    Add("TST:NOTES", {TYPE_MEMO, 41, 4, 0});
    Add("TST:WHEN", {TYPE_DATE, 45, 4, 0});
    Add("TST:HEAD", {TYPE_GROUP, 0, 14, 0});
    Add("TST:PACKED", {TYPE_PDECIMAL, 10, 4, 2});
    Add("NOTED", {TYPE_BYTE, 18, 1, 0});   // names that begin like keywords
    Add("ORDERS", {TYPE_LONG, 14, 4, 0});
    Add("TST:OUTSIDE", {TYPE_LONG, 47, 4, 0});  // passes the record's end
    Add("TST:NARROW", {TYPE_LONG, 14, 2, 0});   // too small for its type
  }
  bool Find(std::string_view name, FilterField* field) const override {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto it = fields_.find(upper);
    if (it == fields_.end()) return false;
    *field = it->second;
    return true;
  }

 private:
  void Add(const std::string& name, FilterField field) { fields_[name] = field; }
  std::map<std::string, FilterField> fields_;
};

class ExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(record_, 0, sizeof record_);
    std::memcpy(record_, "Blue Train", 10);
    SetPrice(0x00, 0x01, 0x25, 0x50);  // 125.50
    SetLong(14, -42);
    record_[18] = 1;
    std::memcpy(record_ + 19, "abc\0zz", 6);
    std::memcpy(record_ + 25, "\x03xyzQQ", 6);
    const double rate = 2.5;
    std::memcpy(record_ + 31, &rate, 8);
    const int16_t small = -7;
    std::memcpy(record_ + 39, &small, 2);
    const uint32_t when = (2024u << 16) | (3u << 8) | 15u;
    std::memcpy(record_ + 45, &when, 4);
  }

  void SetPrice(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    record_[10] = a, record_[11] = b, record_[12] = c, record_[13] = d;
  }
  void SetLong(uint32_t offset, int32_t value) { std::memcpy(record_ + offset, &value, 4); }

  int32_t Compile(const std::string& text) {
    return FilterExpression::Compile(text, fields_, record_, kRecordLength, &expression_);
  }
  Truth Eval(const std::string& text) {
    const int32_t error = Compile(text);
    EXPECT_EQ(error, 0) << text;
    return error == 0 ? expression_->Evaluate() : Truth::kUndecided;
  }

  Fields fields_;
  uint8_t record_[kRecordLength];
  std::unique_ptr<FilterExpression> expression_;
};

constexpr Truth T = Truth::kTrue;
constexpr Truth F = Truth::kFalse;
constexpr Truth U = Truth::kUndecided;

TEST_F(ExpressionTest, EvaluatesFieldsOfEveryReadableType) {
  const struct {
    const char* text;
    Truth expected;
  } cases[] = {
      // Blank-padded texts compare by their content; bytes are unsigned.
      {"TST:TITLE = 'Blue Train'", T},
      {"TST:TITLE = 'Blue Train   '", T},
      {"TST:TITLE = 'Blue'", F},
      {"TST:TITLE > 'Blue'", T},
      {"TST:TITLE < 'Blue Trainz'", T},
      {"TST:TITLE < 'Blue Train\xE9'", T},
      {"tst:title <> \"Blue Train\"", F},
      {"'it''s' = \"it's\"", T},
      // Numbers of each kind.
      {"TST:PRICE = 125.5", T},
      {"TST:PRICE = 125.50", T},
      {"TST:PRICE > 125.49", T},
      {"TST:PRICE >= 125.51", F},
      {"TST:COUNT = -42", T},
      {"TST:COUNT < -41.5", T},
      {"-TST:COUNT = 42", T},
      {"TST:FLAG = 1", T},
      {"TST:SMALL = -7", T},
      {"TST:RATE = 2.5", T},
      {"TST:RATE = 25e-1", T},
      {"TST:WHEN = 132645647", T},
      {"TST:WHEN > TST:COUNT", T},
      // CSTRING stops at its zero byte, PSTRING takes its length byte.
      {"TST:NAME = 'abc'", T},
      {"TST:PNAME = 'xyz'", T},
      // A GROUP is one text of its width.
      {"TST:HEAD = 'Blue Train' ", F},
      {"TST:HEAD < 'Blue Train'", T},  // its byte 0x00 sorts below the padding blank
      // Texts that read as numbers compare as numbers; others are unknown.
      {"'  12 ' = 12", T},
      {"'12' < 9", F},
      {"TST:TITLE = 12", U},
      {"-TST:TITLE = 1", U},
      // Conditions on their own.
      {"TST:FLAG", T},
      {"TST:COUNT", T},
      {"TST:TITLE", T},
      {"'   '", F},
      {"0", F},
  };
  for (const auto& c : cases) EXPECT_EQ(Eval(c.text), c.expected) << c.text;
}

TEST_F(ExpressionTest, LogicIsThreeValued) {
  const struct {
    const char* text;
    Truth expected;
  } cases[] = {
      {"TST:FLAG = 1 AND TST:COUNT < 0", T},
      {"TST:FLAG = 1 and TST:COUNT > 0", F},
      {"TST:FLAG = 0 OR TST:COUNT > 0", F},
      {"TST:FLAG = 0 Or TST:COUNT < 0", T},
      {"NOT TST:FLAG = 0", T},
      {"NOT NOT TST:FLAG = 0", F},
      // Precedence: NOT over AND over OR; parentheses change it.
      {"1 = 1 OR 1 = 1 AND 1 = 0", T},
      {"(1 = 1 OR 1 = 1) AND 1 = 0", F},
      {"NOT (1 = 0 OR 1 = 0)", T},
      // Unknown decides nothing that the other side settles.
      {"TST:TITLE = 12", U},
      {"NOT TST:TITLE = 12", U},
      {"TST:TITLE = 12 AND 1 = 0", F},
      {"TST:TITLE = 12 AND 1 = 1", U},
      {"TST:TITLE = 12 OR 1 = 1", T},
      {"TST:TITLE = 12 OR 1 = 0", U},
      // A comparison result is a number and can be compared again.
      {"(1 = 1) = 1", T},
      // Keywords are whole words only.
      {"NOTED = 1 AND ORDERS = -42", T},
      {"NOT NOTED = 1 OR ORDERS <> -42", F},
  };
  for (const auto& c : cases) EXPECT_EQ(Eval(c.text), c.expected) << c.text;
}

TEST_F(ExpressionTest, UnreadableValuesAreUndecided) {
  SetPrice(0x00, 0x0A, 0x00, 0x00);  // a digit nibble of 10
  EXPECT_EQ(Eval("TST:PRICE = 0"), U);
  EXPECT_EQ(Eval("TST:PRICE = 0 OR TST:FLAG = 1"), T);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::memcpy(record_ + 31, &nan, 8);
  EXPECT_EQ(Eval("TST:RATE < 1"), U);
}

TEST_F(ExpressionTest, NegativeDecimalsHaveTheirSignNibble) {
  SetPrice(0xF0, 0x00, 0x12, 0x00);  // -12.00
  EXPECT_EQ(Eval("TST:PRICE = -12"), T);
  EXPECT_EQ(Eval("TST:PRICE < 0"), T);
  SetPrice(0x09, 0x99, 0x99, 0x99);  // 99999.99
  EXPECT_EQ(Eval("TST:PRICE = 99999.99"), T);
}

TEST_F(ExpressionTest, ReadsTheBoundBufferAtEachEvaluation) {
  ASSERT_EQ(Compile("TST:COUNT > 100 AND TST:TITLE = 'Kind'"), 0);
  EXPECT_EQ(expression_->Evaluate(), F);
  SetLong(14, 101);
  std::memcpy(record_, "Kind      ", 10);
  EXPECT_EQ(expression_->Evaluate(), T);
}

TEST_F(ExpressionTest, BadTextIsRefusedWithItsCode) {
  const struct {
    const char* text;
    int32_t code;
  } cases[] = {
      {"", FilterExpression::kInvalid},
      {"   ", FilterExpression::kInvalid},
      {"TST:FLAG =", FilterExpression::kInvalid},
      {"= 1", FilterExpression::kInvalid},
      {"(TST:FLAG = 1", FilterExpression::kInvalid},
      {"TST:FLAG = 1)", FilterExpression::kInvalid},
      {"1 = 1 = 1", FilterExpression::kInvalid},
      {"'open", FilterExpression::kInvalid},
      {"12abc = 1", FilterExpression::kInvalid},
      {"1e = 1", FilterExpression::kInvalid},
      {"TST:FLAG AND", FilterExpression::kInvalid},
      {"AND = 1", FilterExpression::kInvalid},
      {"NOT", FilterExpression::kInvalid},
      {"TST:FLAG == 1", FilterExpression::kInvalid},
      {"TST:FLAG ! 1", FilterExpression::kInvalid},
      {"1 2", FilterExpression::kInvalid},
      {"TST:MISSING = 1", FilterExpression::kUnbound},
      {"TST:NOTES = 'x'", FilterExpression::kUnbound},
      {"TST:PACKED = 1", FilterExpression::kUnbound},
      {"TST:OUTSIDE = 1", FilterExpression::kUnbound},
      {"TST:NARROW = 1", FilterExpression::kUnbound},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Compile(c.text), c.code) << c.text;
    EXPECT_EQ(expression_, nullptr) << c.text;
  }
}

TEST_F(ExpressionTest, NestingIsBoundedButChainsAreNot) {
  const int depth = FilterExpression::kMaxNesting;
  EXPECT_EQ(Eval(std::string(depth, '(') + "1 = 1" + std::string(depth, ')')), T);
  EXPECT_EQ(Compile(std::string(100000, '(') + "1" + std::string(100000, ')')),
            FilterExpression::kInvalid);
  std::string nots;
  for (int i = 0; i < 100000; ++i) nots += "NOT ";
  EXPECT_EQ(Compile(nots + "1"), FilterExpression::kInvalid);
  EXPECT_EQ(Compile(std::string(100000, '-') + "1"), FilterExpression::kInvalid);

  // A long flat chain is one node, evaluated without deep recursion.
  std::string chain = "TST:FLAG = 1";
  for (int i = 0; i < 100000; ++i) chain += " AND TST:COUNT < 0";
  EXPECT_EQ(Eval(chain), T);
  EXPECT_EQ(Eval(chain + " AND 1 = 0"), F);
}

TEST_F(ExpressionTest, ArbitraryTextNeverCrashes) {
  std::mt19937 random(7);
  const std::string alphabet = "TST:FLAGCOUNTtitle()'\"=<>-+.e0123456789 ANDORNOT\x01\xFF";
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    if (Compile(text) == 0) {
      ASSERT_NE(expression_, nullptr);
      expression_->Evaluate();
    }
  }
}

}  // namespace
}  // namespace vantrose
