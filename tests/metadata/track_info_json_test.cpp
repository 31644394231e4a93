#include "metadata/track_info_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr std::size_t all = qiv::until_nul;

std::string json_string(const char* text) {
  std::string out;
  append_json_string(out, text);
  return out;
}

TEST(TrackInfoJson, PrintsFieldsAsStoredWithValueArraysInOrder) {
  track_info_impl info;
  info.append_field("Artist", all, "a", all);
  info.add_field_value(0, "b");
  info.append_field("title", all, "t", all);
  info.set_tech("samplerate", all, "44100", all);
  info.set_length(1.5);
  replaygain_info gain;
  gain.track_gain = -6.5f;
  gain.track_peak = 0.25f;
  info.set_replaygain(gain);

  std::string out;
  append_track_info_json(out, info);
  EXPECT_EQ(out,
            "{\n"
            "  \"fields\": {\n"
            "    \"Artist\": [\"a\", \"b\"],\n"
            "    \"title\": [\"t\"]\n"
            "  },\n"
            "  \"technical\": {\n"
            "    \"samplerate\": \"44100\"\n"
            "  },\n"
            "  \"length\": 1.5,\n"
            "  \"replaygain\": {\"album_gain\": null, \"track_gain\": -6.5, \"album_peak\": null, \"track_peak\": 0.25}\n"
            "}");
}

TEST(TrackInfoJson, EmptyInfoAndNumbersJsonCannotHoldGiveValidJson) {
  track_info_impl info;
  info.set_length(std::nan(""));
  replaygain_info gain;
  gain.album_gain = std::nanf("");  // present, but not a number
  info.set_replaygain(gain);
  std::string out;
  append_track_info_json(out, info, 2);
  EXPECT_EQ(out,
            "{\n"
            "    \"fields\": {},\n"
            "    \"technical\": {},\n"
            "    \"length\": null,\n"
            "    \"replaygain\": {\"album_gain\": null, \"track_gain\": null, \"album_peak\": null, \"track_peak\": null}\n"
            "  }");
}

TEST(TrackInfoJson, StringsAreEscapedAndAlwaysValidUtf8) {
  EXPECT_EQ(json_string("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(json_string("1\n2\t3\x01\x7F"), "\"1\\n2\\t3\\u0001\\u007f\"");
  EXPECT_EQ(json_string("caf\xC3\xA9 \xE2\x82\xAC"), "\"caf\xC3\xA9 \xE2\x82\xAC\"");
  // A Latin-1 byte, a cut sequence and an encoded surrogate each become U+FFFD.
  EXPECT_EQ(json_string("caf\xE9!"), "\"caf\xEF\xBF\xBD!\"");
  EXPECT_EQ(json_string("x\xE2\x82"), "\"x\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(json_string("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

} // namespace
