#include "playback/inputs/mpeg/mpeg_input.h"

#include <gtest/gtest.h>

#include "core/advanced_settings_registrations.h"
#include "metadata/tags/tag_services.h"

namespace {

TEST(MpegInput, ClaimsFilesAndStreamAddresses) {
  const struct {
    const char* path;
    const char* extension;
    bool claimed;
    const char* why;
  } cases[] = {
      {"C:\\a.MP3", "MP3", true, "extension without regard to case"},
      {"C:\\a.mp2", "mp2", true, "layer II"},
      {"C:\\a.mp1", "Mp1", true, "layer I"},
      {"C:\\a.mpc", "mpc", false, "another format"},
      {"http://radio.example", "example", true, "an address without a path"},
      {"http://radio.example/live", "example/live", true, "a path without a dot"},
      {"http://radio.example/a.ogg", "ogg", false, "a path naming another format's file"},
      {"http://radio.example/live?x=a.b", "b", true, "the only dot stands in the query"},
      {"https://radio.example/live", "example/live", false, "only plain http addresses"},
      {"HTTP://radio.example/live", "example/live", false, "the scheme matches with case"},
  };
  for (const auto& c : cases) EXPECT_EQ(mpeg_is_our_path(c.path, c.extension), c.claimed) << c.why;
  EXPECT_TRUE(mpeg_is_our_content_type("audio/mpeg"));
  EXPECT_FALSE(mpeg_is_our_content_type("audio/MPEG")) << "MIME types match with case";
}

TEST(MpegInput, TagKindsWrittenFollowTheFileAndTheScheme) {
  using namespace tag_services;
  using namespace advanced_settings;
  const struct {
    const char* tagtype;
    bool id3v1_holds;
    advanced_setting_radio* scheme;
    unsigned kinds;
    const char* why;
  } cases[] = {
      {"id3v2.3|id3v1", false, &tag_scheme_ape, kind_id3v2 | kind_id3v1, "present kinds are kept"},
      {"APEv2", false, &tag_scheme_id3v2, kind_apev2, "names compare without case"},
      {"id3v1", true, &tag_scheme_ape, kind_id3v1, "an ID3v1 tag that holds the info stays alone"},
      {"id3v1", false, &tag_scheme_id3v2, kind_id3v2 | kind_id3v1, "a too small ID3v1 tag stays beside the scheme"},
      {"", false, &tag_scheme_id3v2_id3v1, kind_id3v2 | kind_id3v1, "the default scheme"},
      {"", false, &tag_scheme_ape_id3v1, kind_apev2 | kind_id3v1, "APE + ID3v1"},
      {"||", false, &tag_scheme_ape, kind_apev2, "runs of separators name nothing"},
      {"", false, nullptr, kind_id3v2 | kind_id3v1, "no choice selected"},
  };
  advanced_setting_radio* all[] = {&tag_scheme_id3v2_id3v1, &tag_scheme_id3v2, &tag_scheme_ape_id3v1, &tag_scheme_ape};
  for (const auto& c : cases) {
    for (auto* choice : all) choice->set_state(choice == c.scheme);
    EXPECT_EQ(mpeg_tag_kinds_to_write(c.tagtype, c.id3v1_holds), c.kinds) << c.why;
  }
  for (auto* choice : all) choice->reset();
}

}  // namespace
