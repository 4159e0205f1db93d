#include "app/declarations.h"

#include <gtest/gtest.h>

namespace vantrose {
namespace {

// The layouts must match the stored version-2 definition exactly: a gap, an
// overlap or a wrong component would make every OPEN fail or every key wrong.
TEST(DeclarationsTest, FieldsCoverTheRecordAndKeysNameRealFields) {
  for (const DeclaredFile* file : {&REELBIN1, &REELBIN2}) {
    SCOPED_TRACE(file->label);
    const std::vector<DeclaredField>& fields = *file->record;
    ASSERT_EQ(fields.size(), 34u);  // the record, then 33 fields
    EXPECT_EQ(fields[0].level, 0);
    uint32_t next = 0;
    for (size_t i = 1; i < fields.size(); ++i) {
      const DeclaredField& f = fields[i];
      if (f.level != 1) continue;
      EXPECT_EQ(f.offset, next) << f.label;
      next = f.offset + f.element_size;
    }
    EXPECT_EQ(next, kCatalogueRecordLength);
    for (size_t group : {22u, 25u}) {
      EXPECT_EQ(fields[group].type, TYPE_GROUP);
      EXPECT_EQ(fields[group + 1].offset, fields[group].offset);
      EXPECT_EQ(fields[group + 2].offset, fields[group].offset + 4);
    }
    ASSERT_EQ(file->KeyCount(), 22);
    for (const DeclaredKey& key : *file->keys) {
      EXPECT_EQ(key.file, file);
      for (int32_t c : key.components) {
        ASSERT_GE(c, 1);
        ASSERT_LE(c, 33);
        EXPECT_EQ(fields[static_cast<size_t>(c)].level >= 1, true);
      }
    }
    EXPECT_EQ((*file->keys)[0].attributes, DKEY_DUP);
    EXPECT_EQ((*file->keys)[0].components, (std::vector<int32_t>{23, 24, 21}));
    EXPECT_EQ((*file->keys)[2].attributes, 0x4007);
    EXPECT_TRUE((*file->keys)[2].components.empty());
    EXPECT_EQ((*file->keys)[21].components, (std::vector<int32_t>{12, 1}));
    EXPECT_EQ(file->record_length, kCatalogueRecordLength);
    EXPECT_EQ(file->name.length, static_cast<int32_t>(kFileNameLength));
  }
  EXPECT_EQ(REELBIN1.attributes, 0);
  EXPECT_EQ(REELBIN2.attributes, DECL_CREATE);
  EXPECT_EQ((*REELBIN1.record)[3].label, "IN:BUYPRICE");
  EXPECT_EQ((*REELBIN1.record)[12].type, TYPE_LONG);
  EXPECT_EQ((*REELBIN2.record)[12].label, "MOV:VALUE");
  EXPECT_EQ((*REELBIN2.record)[12].type, TYPE_DECIMAL);
  EXPECT_EQ((*REELBIN2.record)[12].places, 2);
  EXPECT_EQ((*REELBIN2.keys)[21].label, "MOV:VALUEKEY");
}

TEST(DeclarationsTest, StartUpBlanksNamesAndClearsRecords) {
  SourceName.fill('x');
  InRecord.fill(0xFF);
  Count = 9;
  StartProgram();
  EXPECT_EQ(FileNameOf(SourceName), "");
  EXPECT_EQ(Count, 0u);
  EXPECT_EQ(InRecord[0], ' ');                    // TITLE
  EXPECT_EQ(InRecord[kBuyPriceOffset], 0);        // BUYPRICE
  EXPECT_EQ(InRecord[1123], 0);                   // DELETED
  EXPECT_EQ(InRecord[kCatalogueRecordLength - 1], ' ');  // SONGS
}

}  // namespace
}  // namespace vantrose
