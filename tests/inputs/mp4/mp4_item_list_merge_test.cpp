// Files whose movie box holds several item lists (a second user-data box, a
// second "meta", a second "ilst"): every list read, and an edit writing one
// list that keeps every field shown, or refusing what one list cannot keep.
#include <gtest/gtest.h>

#include "inputs/mp4/tag_writing.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "mp4_memory_file.h"

using namespace mp4_test;

namespace {

bytes text(const char* key, const bytes& value) { return box(key, full_box("data", 1, be32(0) + value)); }
bytes meta(const bytes& lists) { return full_box("meta", 0, box("hdlr", bytes(25, '\0')) + lists); }
bytes file_with(const bytes& user_data) {
  return ftyp() + box("moov", mvhd(1000, 93) + simple_track() + user_data) + box("mdat", bytes(3000, 'a'));
}

const bytes first = text("\xA9nam", "First title") + text("\xA9" "ART", "First artist");
const bytes second = text("\xA9nam", "Second title") + text("\xA9" "alb", "Second album") + text("\xA9" "day", "2001");
const bytes location = box("\xA9xyz", be16(6) + be16(0x15C7) + "+1+2/");

// Each way other programs leave a second list beside the first.
const std::pair<const char*, bytes> shapes[] = {
    {"second udta", box("udta", meta(box("ilst", first))) + box("udta", location + meta(box("ilst", second)))},
    {"second meta", box("udta", meta(box("ilst", first)) + meta(box("ilst", second)) + location)},
    {"second ilst", box("udta", meta(box("ilst", first) + box("ilst", second)) + location)},
};

// The movie box in force, and what the file reads as through it.
bytes movie_of(const bytes& data, tarnex::mp4_file& file) {
  open_bytes(file, data, tagging);
  return data.substr(std::size_t(file.moov_offset), std::size_t(file.moov_size));
}

std::string field(const tarnex::mp4_file& file, const char* name) {
  const auto* entry = file.item_list.fields.find(name);
  return entry ? entry->values.at(0) + (entry->values.size() > 1 ? " and more" : "") : "<absent>";
}

}  // namespace

TEST(Mp4ItemListMerge, EveryListShowsTheFirstListsValueOfAFieldBothHold) {
  for (const auto& [shape, user_data] : shapes) {
    tarnex::mp4_file file;
    open_bytes(file, file_with(user_data), tagging);
    EXPECT_EQ(field(file, "title"), "First title") << shape;
    EXPECT_EQ(field(file, "artist"), "First artist") << shape;
    EXPECT_EQ(field(file, "album"), "Second album") << shape;
    EXPECT_EQ(field(file, "year"), "2001") << shape;
  }
  // An empty first list, or one with a damaged item, hides nothing of the second.
  const bytes damaged = first + be32(40) + "\xA9too";
  for (const bytes& list : {bytes(), damaged}) {
    tarnex::mp4_file file;
    open_bytes(file, file_with(box("udta", meta(box("ilst", list))) + box("udta", meta(box("ilst", second)))));
    EXPECT_EQ(field(file, "album"), "Second album");
  }
}

TEST(Mp4ItemListMerge, AnEditWritesOneListKeepingEveryFieldShownAndTheOtherUserData) {
  for (const auto& [shape, user_data] : shapes) {
    memory_file f(file_with(user_data));
    retag(f, "Edited");
    tarnex::mp4_file back;
    const bytes movie = movie_of(f.data, back);
    EXPECT_EQ(field(back, "title"), "Edited") << shape;
    EXPECT_EQ(field(back, "artist"), "First artist") << shape;
    EXPECT_EQ(field(back, "album"), "Second album") << shape;
    EXPECT_EQ(field(back, "year"), "2001") << shape;
    EXPECT_EQ(movie.find("ilst", movie.find("ilst") + 1), bytes::npos) << shape;
    EXPECT_NE(movie.find(location), bytes::npos) << shape;
  }
}

TEST(Mp4ItemListMerge, ItemsOfOneKindThatDifferAreRefusedAndTheSameOnesTakenOnce) {
  const bytes unmapped = box("desc", full_box("data", 0, be32(0) + bytes(2, '\0')));
  const bytes cover = box("covr", full_box("data", 13, be32(0) + "\xFF\xD8one"));
  const bytes other_cover = box("covr", full_box("data", 13, be32(0) + "\xFF\xD8two"));
  const bytes other_unmapped = box("desc", full_box("data", 0, be32(0) + bytes(3, '\0')));
  for (const bytes& later : {unmapped, cover}) {
    const bytes data = file_with(box("udta", meta(box("ilst", first + unmapped + cover) + box("ilst", later))));
    memory_file f(data);
    retag(f, "Edited");
    tarnex::mp4_file back;
    const bytes movie = movie_of(f.data, back);
    EXPECT_EQ(movie.find(later, movie.find(later) + 1), bytes::npos);
    EXPECT_EQ(field(back, "title"), "Edited");
  }
  for (const bytes& later : {other_unmapped, other_cover}) {
    const bytes data = file_with(box("udta", meta(box("ilst", first + unmapped + cover) + box("ilst", later))));
    memory_file f(data);
    EXPECT_THROW(retag(f, "Edited"), tarnex::exception_write_refused);
    EXPECT_TRUE(f.data == data);
  }
}
