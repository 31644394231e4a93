// The order in which an ID3v2 write puts frames: an edit moves nothing it
// does not change, pictures never change places among themselves, the same
// edit made twice writes nothing the second time, and a tag written anew
// puts its large frames first so that later text edits stay in place.
#include "metadata/tags/id3v2_frame_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "id3v2_test_bytes.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/id3v2_text_encoding.h"
#include "metadata/tags/tag_services.h"
#include "metadata/tags/trailing_tags.h"
#include "metadata/track_info.h"
#include "tests/io/io_test_support.h"
#include "tests/io/model_file.h"

using namespace id3v2_test;

namespace {

const std::string audio = std::string(3000, '\x55') + "\xFF\xFB audio";

std::string str(const bytes& b) { return std::string(b.begin(), b.end()); }

bytes picture(std::uint8_t type, std::size_t size) {
  return latin("image/jpeg") + bytes{0, type, 0} + bytes(size, std::uint8_t(0xA0 + type));
}

struct write_result {
  std::string bytes;
  int writes_in_place = 0;
  bool rewritten = false;
};

// Reads the file's tags as a writer does, sets the fields, writes them back.
write_result edit(const std::string& content, const std::vector<std::pair<const char*, const char*>>& fields) {
  (void)&find_trailing_tags;
  (void)&id3v2_read_tag_from_file;
  io_test::build_registry();
  const abort_signal& abort = io_test::no_abort();
  auto model = io_test::make_model_file(content);
  vantrel_io::file_ptr file(model.get());
  track_info_impl info;
  tag_services::read(*file, info, abort);
  for (const auto& [name, value] : fields) info.set_field(name, track_info::until_nul, value, track_info::until_nul);
  write_result result;
  model->before_write = [&](std::uint32_t) { ++result.writes_in_place; };
  io_test::model_temp_source rewrite;
  tag_services::write(file, rewrite, tag_services::kind_id3v2, info, abort);
  result.rewritten = static_cast<bool>(rewrite.made);
  result.bytes = result.rewritten ? rewrite.made->bytes : model->bytes;
  return result;
}

// The frames as "TIT2 TRCK APIC:8 ...", pictures with their type.
std::string frame_list(const std::string& content) {
  auto file = io_test::make_model_file(content);
  id3parser::accept_all_frames all;
  id3parser::tag t;
  std::uint64_t size = 0;
  if (!id3v2_read_tag_from_file(*file, all, t, size, io_test::no_abort())) return "no tag";
  std::string list;
  for (const id3parser::frame& f : t.frames) {
    const char id[5] = {char(f.id >> 24), char(f.id >> 16), char(f.id >> 8), char(f.id), 0};
    list += list.empty() ? "" : " ";
    list += id;
    if (f.id == id3parser::frame_id("APIC")) list += ":" + std::to_string(id3v2_parse_picture(f).type);
    if (f.id == id3parser::frame_id("CHAP")) list += ":" + std::string(reinterpret_cast<const char*>(f.data.data()));
  }
  return list;
}

TEST(Id3v2FrameOrder, TheSameEditTwiceWritesNothingTheSecondTimeAndPicturesKeepTheirOrder) {
  const bytes frames = frame("TIT2", latin("old")) + frame("TRCK", latin("3/12")) + frame("TPE1", latin("artist")) +
                       frame("APIC", picture(8, 300)) + frame("APIC", picture(4, 300)) +
                       frame("APIC", picture(3, 300));
  const std::string original = str(tag(3, frames + bytes(512, 0))) + audio;
  const std::string before = "TIT2 TRCK TPE1 APIC:8 APIC:4 APIC:3";
  ASSERT_EQ(before, frame_list(original));

  const write_result first = edit(original, {{"title", "new title"}, {"tracknumber", "4"}});
  EXPECT_EQ(before, frame_list(first.bytes)) << "each frame in its place, the pictures as they were";
  const write_result second = edit(first.bytes, {{"title", "new title"}, {"tracknumber", "4"}});
  EXPECT_EQ(0, second.writes_in_place);
  EXPECT_FALSE(second.rewritten);
  EXPECT_TRUE(first.bytes == second.bytes);

  const write_result unchanged = edit(original, {});
  EXPECT_EQ(0, unchanged.writes_in_place) << "an edit that changes no value writes nothing";
  EXPECT_FALSE(unchanged.rewritten);
}

TEST(Id3v2FrameOrder, ATagWrittenAnewPutsLargeFramesFirstSoThatATextEditStaysInPlace) {
  // The sizes put the short frames, once behind the large ones, 100 bytes
  // into a page.
  const bytes large_comment = bytes{0} + text("eng") + bytes{0} + bytes(3000 - 5, 'c');
  const bytes frames = frame("TIT2", latin("t")) + frame("COMM", large_comment) + frame("TPE1", latin("a")) +
                       frame("APIC", picture(3, 100000 - 14)) + frame("TALB", latin("b")) +
                       frame("PRIV", text("owner") + bytes{0} + bytes(3556 - 6, 'p')) + frame("APIC", picture(4, 20));
  const std::string original = str(tag(3, frames)) + audio;
  EXPECT_EQ("TIT2 COMM TPE1 APIC:3 TALB PRIV APIC:4", frame_list(original));

  const write_result grown = edit(original, {{"title", "a longer title"}});
  ASSERT_TRUE(grown.rewritten);
  EXPECT_EQ("COMM APIC:3 PRIV APIC:4 TIT2 TPE1 TALB", frame_list(grown.bytes));

  const write_result later = edit(grown.bytes, {{"title", "an even longer title"}, {"artist", "someone"}});
  EXPECT_FALSE(later.rewritten);
  EXPECT_EQ(1, later.writes_in_place);
  EXPECT_EQ(grown.bytes.size(), later.bytes.size());
  EXPECT_EQ("COMM APIC:3 PRIV APIC:4 TIT2 TPE1 TALB", frame_list(later.bytes));
}

TEST(Id3v2FrameOrder, ChapterFramesKeepTheirOrderWhenOneOfThemHoldsAPicture) {
  // Element id, start and end times, start and end offsets, sub-frames.
  const auto chapter = [](const std::string& id, const bytes& sub_frames) {
    return frame("CHAP", text(id) + bytes{0} + be32(0) + be32(1000) + be32(0xFFFFFFFF) + be32(0xFFFFFFFF) + sub_frames);
  };
  const bytes toc = frame("CTOC", text("toc") + bytes{0, 0x03, 3} + text("ch0") + bytes{0} + text("ch1") + bytes{0} +
                                      text("ch2") + bytes{0});
  const bytes frames = frame("TIT2", latin("t")) + toc + chapter("ch0", frame("TIT2", latin("One"))) +
                       chapter("ch1", frame("APIC", picture(3, 3000))) + chapter("ch2", {}) +
                       frame("APIC", picture(3, 2000)) + frame("TPE1", latin("a"));
  const std::string original = str(tag(3, frames)) + audio;
  const write_result grown = edit(original, {{"title", "a title longer than the room of the tag"}});
  ASSERT_TRUE(grown.rewritten);
  EXPECT_EQ("CTOC CHAP:ch0 CHAP:ch1 CHAP:ch2 APIC:3 TIT2 TPE1", frame_list(grown.bytes));
}

TEST(Id3v2FrameOrder, AFrameMadeAnewTakesThePlaceOfTheOneItReplaces) {
  using id3parser::frame_id;
  const auto make = [](const char (&id)[5], const std::string& description, const std::string& value) {
    id3parser::frame f;
    f.id = frame_id(id);
    id3v2_set_text(f, description, 0);
    id3v2_append_text(f, value);
    return f;
  };
  const std::vector<id3parser::frame> old = {make("TXXX", "REPLAYGAIN_TRACK_GAIN", "-1 dB"),
                                             make("COMM", "", "first"), make("TXXX", "mood", "calm")};
  std::vector<id3parser::frame> rebuilt = {make("TXXX", "mood", "calm"), make("TXXX", "new", "x"),
                                           make("COMM", "", "changed"),
                                           make("TXXX", "replaygain_track_gain", "-2 dB")};
  id3v2_frame_places(old).put_in_place(rebuilt);
  std::vector<std::string> order;
  for (const id3parser::frame& f : rebuilt) order.push_back(id3v2_text_value(f, 1, false));
  EXPECT_EQ((std::vector<std::string>{"-2 dB", "changed", "calm", "x"}), order);

  // Frames of one description: a kept one claims its own place first, those
  // made anew the places left of their kind in turn.
  const std::vector<id3parser::frame> shared = {make("TXXX", "mood", "a"), make("COMM", "", "c"),
                                                make("TXXX", "mood", "b"), make("TXXX", "mood", "a")};
  rebuilt = {make("TXXX", "mood", "a"), make("TXXX", "mood", "x"), make("TXXX", "mood", "y"),
             make("TXXX", "mood", "z"), make("COMM", "", "c")};
  id3v2_frame_places(shared).put_in_place(rebuilt);
  order.clear();
  for (const id3parser::frame& f : rebuilt) order.push_back(id3v2_text_value(f, 1, false));
  EXPECT_EQ((std::vector<std::string>{"a", "c", "x", "y", "z"}), order);
}

}  // namespace
