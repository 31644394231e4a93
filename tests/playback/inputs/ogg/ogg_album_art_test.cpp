// Picture fields written into an Ogg comment block, and the edits the
// album-art object accepts.
#include "playback/inputs/ogg/ogg_album_art.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/service_factory.h"
#include "foundation/base64.h"
#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/memory_writer.h"
#include "metadata/tags/id3v2_tag_service.h"

namespace {

std::string u32le_text(std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

std::string vorbis_comment_block(const std::vector<std::string>& entries) {
  std::string out = u32le_text(6) + "vendor" + u32le_text(static_cast<std::uint32_t>(entries.size()));
  for (const auto& e : entries) out += u32le_text(static_cast<std::uint32_t>(e.size())) + e;
  return out;
}

// The entries of a written block, and its vendor.
std::vector<std::string> entries_of(const std::string& block, std::string& vendor) {
  auto u32 = [&](std::size_t at) {
    return std::uint32_t(std::uint8_t(block[at])) | std::uint32_t(std::uint8_t(block[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(block[at + 2])) << 16 | std::uint32_t(std::uint8_t(block[at + 3])) << 24;
  };
  std::size_t at = 4 + u32(0);
  vendor = block.substr(4, at - 4);
  const std::uint32_t count = u32(at);
  at += 4;
  std::vector<std::string> out;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t size = u32(at);
    out.push_back(block.substr(at + 4, size));
    at += 4 + size;
  }
  EXPECT_EQ(at, block.size()) << "nothing after the last entry";
  return out;
}

album_art_data_ptr picture_of(const std::string& bytes) {
  return album_art_data::create_from_buffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

std::string written(const std::string& old_block, const album_art_map& pictures) {
  vantrel_io::memory_writer out;
  ogg_pictures::write_comment(old_block.data(), static_cast<std::uint32_t>(old_block.size()), pictures, out,
                              never_raised_abort_signal());
  return std::string(reinterpret_cast<const char*>(out.get_ptr()), out.get_size());
}

TEST(OggPictureWriting, OldFieldsKeptOrDropped) {
  const std::string not_utf8("BAD=\xC3", 5);
  const std::string old = vorbis_comment_block({"TITLE=t", "coverart=eA==", "CoverArtMime=image/png",
                                         "METADATA_BLOCK_PICTURE=AAAA", "no equals sign", not_utf8, "=no name",
                                         std::string("METADATA_BLOCK_PICTURE=\xC3", 24), "ARTIST=a"});
  album_art_map pictures;
  std::string vendor;
  EXPECT_EQ(entries_of(written(old, pictures), vendor),
            (std::vector<std::string>{"TITLE=t", "METADATA_BLOCK_PICTURE=AAAA", "no equals sign", not_utf8,
                                      "=no name", std::string("METADATA_BLOCK_PICTURE=\xC3", 24), "ARTIST=a"}))
      << "the removed front cover's fields in any case go; every other entry keeps its bytes and order, "
         "pictures of no readable type included";
  EXPECT_EQ(vendor, "vendor");
  // A count no file could hold fails on the missing bytes, not on an allocation.
  EXPECT_THROW(written(u32le_text(0) + u32le_text(0xFFFFFFFF) + u32le_text(1) + "a", pictures), vantrel_io::exception_io_data);
}

std::string be32(std::uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

std::string picture_entry(std::uint32_t type, const std::string& description, const std::string& data) {
  const std::string block = be32(type) + be32(0) + be32(std::uint32_t(description.size())) + description +
                            std::string(16, '\x01') + be32(std::uint32_t(data.size())) + data;
  qiv::string_buffer text;
  qiv::base64_encode(text, block.data(), block.size());
  return std::string("METADATA_BLOCK_PICTURE=") + text.get_ptr();
}

TEST(OggPictureWriting, OnlyTheChangedTypesAreWrittenAnew) {
  const std::string front = picture_entry(3, "front", "F1"), back = picture_entry(4, "back", "B1"),
                    leaflet = picture_entry(5, "leaflet", "L1"), file_icon = picture_entry(1, "", "I1"),
                    icon = picture_entry(2, "", "I2");
  const std::string old = vorbis_comment_block({front, "TITLE=t", back, leaflet, file_icon, icon});
  // As read: front F1, back B1 and the icon I2 (the later of the two icon
  // types); no album-art type shows the leaflet.
  album_art_map pictures;
  pictures.set(album_art_ids::front, picture_of("F1"));
  pictures.set(album_art_ids::back, picture_of("B2"));
  std::string vendor;
  std::string new_back;
  {
    album_art_map only_back;
    only_back.set(album_art_ids::back, picture_of("B2"));
    new_back = entries_of(written(vorbis_comment_block({}), only_back), vendor).at(0);
  }
  EXPECT_EQ(entries_of(written(old, pictures), vendor),
            (std::vector<std::string>{front, "TITLE=t", leaflet, new_back}))
      << "the unchanged front cover and the leaflet keep their bytes; both icon fields go with the icon; the "
         "new back cover replaces the old";
}

TEST(OggPictureWriting, PicturesByTypeWithMime) {
  const struct {
    GUID type;
    std::string data;
    std::uint32_t picture_type;  // 0: not written
    const char* mime;
  } cases[] = {
      {album_art_ids::front, "\x89PNG\r\n\x1a\nrest", 3, "image/png"},
      {album_art_ids::back, "\xFF\xD8\xFF", 4, "image/jpeg"},
      {album_art_ids::disc, "GIF89a", 6, "image/gif"},
      {album_art_ids::artist, "\x89PNG", 8, ""},  // a cut signature is no PNG
      {GUID{}, "other", 0, nullptr},                // the null type has no picture-type number
  };
  for (const auto& c : cases) {
    album_art_map pictures;
    pictures.set(c.type, picture_of(c.data));
    std::string vendor;
    const std::vector<std::string> entries = entries_of(written(vorbis_comment_block({"TITLE=t"}), pictures), vendor);
    if (!c.picture_type) {
      EXPECT_EQ(entries.size(), 1u) << c.data;
      continue;
    }
    ASSERT_EQ(entries.size(), 2u) << c.data;
    const std::string prefix = "METADATA_BLOCK_PICTURE=";
    ASSERT_EQ(entries[1].compare(0, prefix.size(), prefix), 0);
    const std::string text = entries[1].substr(prefix.size());
    std::string block(qiv::base64_decoded_size(text.c_str()), '\0');
    qiv::base64_decode(text.c_str(), block.data());
    const std::string mime = c.mime;
    auto be = [](std::uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    EXPECT_EQ(block, be(c.picture_type) + be(std::uint32_t(mime.size())) + mime + be(0) + std::string(16, '\0') +
                         be(std::uint32_t(c.data.size())) + c.data)
        << c.data;
  }
}

TEST(OggAlbumArt, EditsAndTheirFailures) {
  album_art_editor_ptr art(new service_counted<ogg_album_art>());
  const abort_signal& abort = never_raised_abort_signal();
  EXPECT_THROW(art->query(album_art_ids::front, abort), exception_album_art_not_found);
  EXPECT_THROW(art->set(GUID{}, picture_of("x"), abort), exception_album_art_unsupported_entry)
      << "a type with no picture-type number";
  EXPECT_NO_THROW(art->set(album_art_ids::icon, picture_of("x"), abort));
  EXPECT_EQ(art->query(album_art_ids::icon, abort)->get_size(), 1u);
  art->remove_all();
  EXPECT_THROW(art->query(album_art_ids::icon, abort), exception_album_art_not_found);
  EXPECT_THROW(art->commit(abort), qiv::exception_not_implemented) << "no open file to write into";
}

}  // namespace
