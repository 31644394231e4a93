// Pictures read from the fields of an Ogg comment block, damaged ones
// skipped without hiding the rest.
#include "playback/inputs/ogg/ogg_album_art_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/base64.h"
#include "foundation/guid_equal.h"
#include "foundation/string_buffer.h"
#include "metadata/tags/id3v2_tag_service.h"

namespace {

std::string u32le(std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string u32be(std::uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

std::string base64(const std::string& bytes) {
  qiv::string_buffer out;
  qiv::base64_encode(out, bytes.data(), bytes.size());
  return out.get_ptr();
}

// A picture block; `mime_claim` overrides the MIME length written.
std::string picture(std::uint32_t type, const std::string& data, std::uint32_t mime_claim = 10) {
  return u32be(type) + u32be(mime_claim) + "image/jpeg" + u32be(0) + std::string(16, '\0') +
         u32be(static_cast<std::uint32_t>(data.size())) + data;
}

std::string comment_block(const std::vector<std::string>& entries) {
  std::string out = u32le(1) + "v" + u32le(static_cast<std::uint32_t>(entries.size()));
  for (const auto& e : entries) out += u32le(static_cast<std::uint32_t>(e.size())) + e;
  return out;
}

TEST(OggPictures, ReadFromComment) {
  const struct {
    std::vector<std::string> entries;
    GUID type;
    const char* data;  // null: no picture of that type
    const char* why;
  } cases[] = {
      {{"METADATA_BLOCK_PICTURE=" + base64(picture(3, "front"))}, album_art_ids::front, "front", "a front cover"},
      {{"metadata_block_picture=" + base64(picture(4, "back"))}, album_art_ids::back, "back", "names in any case"},
      {{"COVERART=" + base64("old")}, album_art_ids::front, "old", "the older field is a front cover"},
      {{"METADATA_BLOCK_PICTURE=" + base64(picture(5, "x"))}, album_art_ids::front, nullptr, "type 5 has no kind"},
      {{"METADATA_BLOCK_PICTURE=" + base64(picture(3, "bad", 0xFFFFFFF0)),
        "METADATA_BLOCK_PICTURE=" + base64(picture(4, "kept"))},
       album_art_ids::back, "kept", "a MIME length past the end skips only that picture"},
      {{"METADATA_BLOCK_PICTURE=" + base64(picture(3, "bad", 0xFFFFFFF0))}, album_art_ids::front, nullptr,
       "the damaged picture is not read"},
      {{"METADATA_BLOCK_PICTURE=not base64!"}, album_art_ids::front, nullptr, "text that is no base64"},
  };
  for (const auto& c : cases) {
    const std::string block = comment_block(c.entries);
    album_art_map pictures;
    ogg_pictures::read_from_comment(block.data(), static_cast<std::uint32_t>(block.size()), pictures);
    album_art_data_ptr found;
    ASSERT_EQ(pictures.get(c.type, found), c.data != nullptr) << c.why;
    if (c.data) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(found->get_ptr()), found->get_size()), c.data) << c.why;
    }
  }
}

}  // namespace
