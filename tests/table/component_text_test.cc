#include "engine/table/component_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/declared.h"

namespace vantrose {
namespace {

FieldDescriptor MakeField(std::string name, uint8_t type, uint32_t size, uint32_t element_count = 1) {
  FieldDescriptor field;
  field.name = std::move(name);
  field.type = type;
  field.size = size;
  field.element_count = element_count;
  return field;
}

// Fields by position: 0 T:NAME, 1 T:NUMBER, 2 T:CODE, 3 T:ARRAY (three
// elements), 4 T:NOTES (a MEMO lying over the record), 5 and 6 two texts of
// 8000 bytes.
std::vector<FieldDescriptor> Fields() {
  return {MakeField("T:NAME", TYPE_STRING, 20),       MakeField("T:NUMBER", TYPE_LONG, 4),
          MakeField("T:CODE", TYPE_STRING, 4),        MakeField("T:ARRAY", TYPE_LONG, 12, 3),
          MakeField("T:NOTES", TYPE_MEMO, 20),        MakeField("T:BIG", TYPE_STRING, 8000),
          MakeField("T:BIGGER", TYPE_STRING, 8000)};
}

// A component as (field position, descending).
using Expected = std::vector<std::pair<int, int>>;

struct Case {
  const char* text;
  int32_t result;
  Expected components;  // when the result is 0
};

class ComponentTextTest : public ::testing::TestWithParam<Case> {};

TEST_P(ComponentTextTest, ParsesOrLeavesTheComponentsAsTheyWere) {
  const Case& c = GetParam();
  const std::vector<FieldDescriptor> fields = Fields();
  // What the key held before: T:CODE descending.
  std::vector<KeyComponent> components = {{&fields[2], 1}};
  EXPECT_EQ(ParseComponentText(fields, c.text, &components), c.result);
  Expected got;
  for (const KeyComponent& component : components) {
    got.push_back({int(component.field - fields.data()), component.descending});
  }
  const Expected before = {{2, 1}};
  EXPECT_EQ(got, c.result == 0 ? c.components : before);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ComponentTextTest,
    ::testing::Values(
        Case{"T:NAME", 0, {{0, 0}}},
        Case{"+T:NAME,-T:NUMBER", 0, {{0, 0}, {1, 1}}},
        Case{"   T:CODE,  -T:NAME", 0, {{2, 0}, {0, 1}}},
        Case{"t:Name,-T:code", 0, {{0, 0}, {2, 1}}},        // case does not matter
        Case{"T:NAME,-T:NAME", 0, {{0, 0}, {0, 1}}},        // one field, both ways
        Case{" -  T:NUMBER", 0, {{1, 1}}},                 // blanks after the sign
        Case{"T:NAME ,T:CODE", kInvalidIndexString, {}},   // a blank ends no name
        Case{"T:NAME,T:CODE ", kInvalidIndexString, {}},
        Case{"NAME", kInvalidIndexString, {}},             // only the whole stored name
        Case{"T:NAMES", kInvalidIndexString, {}},
        Case{"T:NAME,,T:CODE", kInvalidIndexString, {}},
        Case{"T:NAME,", kInvalidIndexString, {}},
        Case{"", kInvalidIndexString, {}},
        Case{"-", kInvalidIndexString, {}},
        Case{"+-T:NAME", kInvalidIndexString, {}},
        Case{"T:ARRAY", kInvalidIndexString, {}},          // an array cannot be a component
        Case{"T:NAME,T:NOTES", kInvalidIndexString, {}},   // nor a MEMO
        Case{"T:BIG", 0, {{5, 0}}},
        Case{"T:BIG,T:BIGGER", kInvalidKeyLength, {}}));   // no entry could hold it

TEST(FieldNamedTest, FindsTheFirstFieldOfTheNameWithoutRegardToCase) {
  std::vector<FieldDescriptor> fields = Fields();
  fields.push_back(MakeField("t:name", TYPE_LONG, 4));
  EXPECT_EQ(FieldNamed(fields, "T:NAME"), &fields[0]);
  EXPECT_EQ(FieldNamed(fields, "T:NUMBEr"), &fields[1]);
  EXPECT_EQ(FieldNamed(fields, "T:NUMBER "), nullptr);
  EXPECT_EQ(FieldNamed(fields, ""), nullptr);
}

}  // namespace
}  // namespace vantrose
