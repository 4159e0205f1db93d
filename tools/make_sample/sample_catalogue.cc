#include "tools/make_sample/sample_catalogue.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "app/conversion.h"
#include "app/declarations.h"
#include "engine/front/engine_entry.h"
#include "engine/front/operations.h"
#include "runtime/error_state.h"

namespace vantrose {
namespace {

// splitmix64: a full-period generator whose output depends on nothing but
// the seed, so that samples are the same on every machine.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }
  bool Chance(uint32_t percent) { return Below(100) < percent; }
  template <size_t N>
  std::string_view Pick(const std::array<std::string_view, N>& choices) {
    return choices[Below(N)];
  }

 private:
  uint64_t state_;
};

constexpr std::array<std::string_view, 24> kTitleWords = {
    "Blue", "Night", "River", "Echoes", "Midnight", "Garden", "Silver", "Train",
    "Summer", "Stone", "Shadows", "Highway", "Velvet", "Morning", "Electric", "Dreams",
    "Harbor", "Fire", "Letters", "Distant", "Golden", "Rain", "Northern", "Lights"};
constexpr std::array<std::string_view, 20> kFirstNames = {
    "Anna", "Miles", "Nina", "Oscar", "Ella", "Louis", "Billie", "Chet", "Sonny", "Joni",
    "Ray", "Etta", "Van", "Carole", "Otis", "Aretha", "Neil", "Patti", "Leon", "Iris"};
constexpr std::array<std::string_view, 20> kLastNames = {
    "Holloway", "Brandt", "Okafor", "Lindqvist", "Moreau", "Castell", "Pryce", "Wexford",
    "Adair", "Kimura", "Delacroix", "Fenwick", "Marsh", "Vidal", "Quinlan", "Sato",
    "Reyes", "Oduya", "Hartmann", "Blake"};
constexpr std::array<std::string_view, 12> kGenres = {
    "Jazz", "Blues", "Rock", "Folk", "Classical", "Soul", "Country", "Reggae",
    "Electronic", "Pop", "Soundtrack", "World"};
constexpr std::array<std::string_view, 6> kMedia = {"CD", "LP", "Cassette", "7-inch single",
                                                    "SACD", "MiniDisc"};
constexpr std::array<std::string_view, 10> kLabels = {
    "Bluebird Records", "Harbor Sound", "North Star", "Velvet Tone", "Red Door",
    "Old Mill", "Lantern", "Skyline Music", "Greenway", "Copperfield"};
constexpr std::array<std::string_view, 5> kConditions = {"Mint", "Near mint", "Very good",
                                                         "Good", "Fair"};
constexpr std::array<std::string_view, 6> kRatings = {"", "*", "**", "***", "****", "*****"};
constexpr std::array<std::string_view, 8> kPeople = {
    "R. Okafor", "T. Lindqvist", "M. Brandt", "S. Kimura", "J. Marsh", "P. Vidal",
    "A. Castell", "D. Pryce"};

// Field offsets and sizes of the layout (app/declarations.h).
struct Place {
  uint32_t offset;
  uint32_t size;
};
constexpr Place kTitle{0, 100}, kLendDate{100, 20}, kGivenTo{124, 50}, kDateGiven{174, 20},
    kCategory{194, 80}, kArtist{274, 80}, kLentTo{354, 50}, kLocation{404, 80},
    kLength{484, 25}, kMediaField{509, 80}, kLabel{593, 50}, kCopyDate{643, 50},
    kEngineer{693, 50}, kCustom1{743, 50}, kProducer{793, 80}, kCustom2{873, 50},
    kCondition{923, 80}, kGraphicFile{1003, 120}, kArtistKey{1140, 80}, kTitleKey{1220, 50},
    kContents{1271, 3000}, kRating{4271, 30}, kSongs{4301, 5000};
constexpr uint32_t kDeleted = 1123, kCreatedDate = 1124, kCreatedTime = 1128,
                   kChangedDate = 1132, kChangedTime = 1136, kListByStars = 1270;

void PutText(uint8_t* record, Place place, std::string_view text) {
  std::memcpy(record + place.offset, text.data(), std::min<size_t>(text.size(), place.size));
}
void PutLong(uint8_t* record, uint32_t offset, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}
std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}
std::string TwoDigits(uint32_t n) {
  return std::string(1, char('0' + n / 10 % 10)) + char('0' + n % 10);
}
std::string Date(Random& random) {
  return TwoDigits(1 + random.Below(12)) + "/" + TwoDigits(1 + random.Below(28)) + "/" +
         std::to_string(1995 + random.Below(30));
}

}  // namespace

void FillSampleRecord(uint64_t seed, uint32_t index, uint8_t* record) {
  Random random(seed * 0x100000001B3ull + index);
  // Program start-up's clear: text blank, numbers zero.
  std::memset(record, ' ', kCatalogueRecordLength);
  for (uint32_t offset : {kBuyPriceOffset, kValueOffset, kCreatedDate, kCreatedTime,
                          kChangedDate, kChangedTime}) {
    PutLong(record, offset, 0);
  }
  record[kDeleted] = 0;
  record[kListByStars] = 0;

  std::string title(random.Pick(kTitleWords));
  for (uint32_t words = 1 + random.Below(3); words > 0; --words) {
    title += ' ';
    title += random.Pick(kTitleWords);
  }
  const std::string artist =
      std::string(random.Pick(kFirstNames)) + " " + std::string(random.Pick(kLastNames));
  PutText(record, kTitle, title);
  PutText(record, kArtist, artist);
  PutText(record, kTitleKey, Upper(title));
  PutText(record, kArtistKey, Upper(artist));
  PutText(record, kCategory, random.Pick(kGenres));
  PutText(record, kMediaField, random.Pick(kMedia));
  PutText(record, kLabel, random.Pick(kLabels));
  PutText(record, kLocation,
          "Shelf " + std::string(1, char('A' + random.Below(8))) + std::to_string(1 + random.Below(12)));
  const uint32_t seconds = 1200 + random.Below(3600);
  PutText(record, kLength, std::to_string(seconds / 60) + ":" + TwoDigits(seconds % 60));
  PutText(record, kCopyDate, std::to_string(1955 + random.Below(70)));
  if (random.Chance(40)) PutText(record, kCondition, random.Pick(kConditions));
  if (random.Chance(30)) PutText(record, kProducer, random.Pick(kPeople));
  if (random.Chance(20)) PutText(record, kEngineer, random.Pick(kPeople));
  if (random.Chance(8)) {
    PutText(record, kLentTo, random.Pick(kFirstNames));
    PutText(record, kLendDate, Date(random));
  }
  if (random.Chance(4)) {
    PutText(record, kGivenTo, random.Pick(kFirstNames));
    PutText(record, kDateGiven, Date(random));
  }
  if (random.Chance(5)) PutText(record, kCustom1, "Signed copy");
  if (random.Chance(3)) PutText(record, kCustom2, "Box set " + std::to_string(1 + random.Below(9)));
  if (random.Chance(10)) PutText(record, kGraphicFile, "covers\\" + std::to_string(index) + ".jpg");
  if (random.Chance(15)) {
    PutText(record, kContents, "Reissue with liner notes; " + std::string(random.Pick(kConditions)) +
                                   " sleeve, bought at a fair.");
  }
  const uint32_t stars = random.Below(6);
  PutText(record, kRating, kRatings[stars]);
  record[kListByStars] = static_cast<uint8_t>(stars);

  std::string songs;
  for (uint32_t track = 1, tracks = 6 + random.Below(10); track <= tracks; ++track) {
    songs += std::to_string(track) + ". " + std::string(random.Pick(kTitleWords)) + " " +
             std::string(random.Pick(kTitleWords)) + " (" + std::to_string(2 + random.Below(6)) +
             ":" + TwoDigits(random.Below(60)) + ")  ";
  }
  PutText(record, kSongs, songs);

  PutLong(record, kBuyPriceOffset, static_cast<int32_t>(random.Below(6000)));
  PutLong(record, kValueOffset, random.Chance(70) ? static_cast<int32_t>(random.Below(25000)) : 0);
  const int32_t created = 72000 + static_cast<int32_t>(random.Below(9000));  // days
  PutLong(record, kCreatedDate, created);
  PutLong(record, kCreatedTime, static_cast<int32_t>(random.Below(8640000)));  // 1/100 s
  if (random.Chance(30)) {
    PutLong(record, kChangedDate, created + static_cast<int32_t>(random.Below(400)));
    PutLong(record, kChangedTime, static_cast<int32_t>(random.Below(8640000)));
  }
}

int32_t WriteSampleCatalogue(const std::string& path, uint32_t records, uint64_t seed) {
  // The version-2 declaration with the CREATE attribute, on its own fields,
  // keys and buffer so that the converter's declared files stay untouched.
  std::vector<DeclaredField> fields = *REELBIN1.record;
  std::vector<DeclaredKey> keys = *REELBIN1.keys;
  std::vector<uint8_t> buffer(kCatalogueRecordLength);
  DeclaredFile file;
  file.label = "SAMPLE";
  file.entry = &EngineEntry;
  file.name = DeclaredText{path.c_str(), TEXT_ZERO_TERMINATED};
  file.attributes = DECL_CREATE;
  file.record_length = kCatalogueRecordLength;
  file.record = &fields;
  file.keys = &keys;
  file.record_buffer = buffer.data();
  for (DeclaredKey& key : keys) {
    key.file = &file;
    key.descriptor = nullptr;
  }

  auto call = [&](int32_t operation, int32_t argument = 0) {
    EngineArgs args;
    args.cells[0] = argument;
    return file.entry(operation, file, args);
  };
  int32_t rc = call(op::CREATE);
  if (rc == 0) rc = call(op::OPEN, kConversionOpenMode);
  if (rc != 0) return rc;
  call(op::STREAM);
  for (uint32_t index = 0; index < records && rc == 0; ++index) {
    FillSampleRecord(seed, index, buffer.data());
    rc = call(op::APPEND);
  }
  if (rc == 0) rc = call(op::FLUSH);
  if (rc == 0) rc = call(op::BUILDfile);
  const int32_t closed = call(op::CLOSE);
  return rc != 0 ? rc : closed;
}

}  // namespace vantrose
