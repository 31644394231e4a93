#include "metadata/album_art_data.h"

#include <gtest/gtest.h>

#include "io/memory_file.h"
#include "metadata/album_art_file.h"

namespace {

constexpr GUID type(std::uint8_t n) { return {0x10000000u * n, 0, 0, {0, 0, 0, 0, 0, 0, 0, n}}; }

TEST(AlbumArtMap, OnePicturePerTypeAndAbsentTypesLeaveTheCallersReference) {
  album_art_map map;
  const album_art_data_ptr front = album_art_data::create_from_buffer("front", 5);
  const album_art_data_ptr empty = album_art_data::create_from_buffer(nullptr, 0);
  for (std::uint8_t n = 1; n <= 3; ++n) map.set(type(n), front);
  map.set(type(2), empty);  // replaces, does not add
  EXPECT_EQ(map.count(), 3u);
  EXPECT_EQ(front->ref_count(), 3);  // the replaced reference was given back

  album_art_data_ptr out = front;
  EXPECT_TRUE(map.get(type(2), out));
  EXPECT_EQ(out->get_size(), 0u);
  EXPECT_FALSE(map.get(type(9), out));
  EXPECT_EQ(out.get(), empty.get());

  EXPECT_TRUE(map.remove(type(2)));
  EXPECT_FALSE(map.remove(type(2)));
  EXPECT_TRUE(map.get(type(1), out) && map.get(type(3), out));
  EXPECT_EQ(map.count(), 2u);
}

class no_pictures : public album_art_file {
protected:
  void load(vantrel_io::file_object&, album_art_map&, const abort_signal&) override {}
};

TEST(AlbumArtFile, ReadingAFileWithoutPicturesIsNotFoundButEditingItIsNot) {
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  no_pictures reading;
  try {
    reading.open(file, "", false, never_raised_abort_signal());
    ADD_FAILURE();
  } catch (const vantrel_io::exception_io_not_found& e) {
    EXPECT_STREQ(e.what(), "Attached picture not found");
  }
  no_pictures editing;
  EXPECT_NO_THROW(editing.open(file, "", true, never_raised_abort_signal()));
}

}  // namespace
