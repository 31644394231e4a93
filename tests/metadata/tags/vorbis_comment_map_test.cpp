#include "metadata/tags/vorbis_comment_map.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "metadata/track_info.h"

namespace {

// Every field as "name=v1|v2", in the info's order.
std::string dump(const track_info& info) {
  std::string out;
  for (std::uint32_t f = 0; f < info.field_count(); ++f) {
    out += std::string(out.empty() ? "" : " ") + info.field_name(f) + "=";
    for (std::uint32_t v = 0; v < info.field_value_count(f); ++v) {
      out += (v ? "|" : "") + std::string(info.field_value(f, v));
    }
  }
  return out;
}

TEST(VorbisCommentMap, GathersSpellingsFoldsDoublesAndReplacesTheInfosFields) {
  vorbis_comment_map map;
  const char* entries[][2] = {
      {"date", "1999"},
      {"Artist", "A"},
      {"ARTIST", "B"},          // same field, first spelling kept
      {"album artist", "X"},
      {"ALBUM ARTIST", "X"},    // doubled value folded
      {"album artist", "x"},    // values compare case-sensitively
      {"TOTALTRACKS", "12"},
      {"totaltracks", "13"},    // only the first count stays
      {"PUBLISHER", "P"},
      {"publisher", "P"},
      {"bad=name", "dropped"},
      {"tab\tname", "dropped"},
      {"album", "Z"},
      {"empty", ""},
  };
  for (const auto& e : entries) map.add_value(e[0], e[1], std::strlen(e[1]));
  map.values_of("never added");  // a name without values adds no field
  map.canonicalize();

  track_info_impl info;
  info.set_field("comment", 7, "from another tag", track_info::until_nul);
  info.set_tech("samplerate", 10, "44100", 5);
  map.apply_to_info(info);
  EXPECT_EQ(dump(info), "album=Z album artist=X|x Artist=A|B date=1999 empty= PUBLISHER=P TOTALTRACKS=12");
  EXPECT_STREQ(*info.tech_value_by_name("samplerate"), "44100");
  EXPECT_EQ(map.find("bad=name"), nullptr);
  ASSERT_NE(map.find("ARTIST"), nullptr);

  map.clear();
  map.apply_to_info(info);
  EXPECT_EQ(info.field_count(), 0u);
}

}  // namespace
