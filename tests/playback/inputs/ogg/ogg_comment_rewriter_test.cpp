// Retagging an Ogg stream: one write in place only within one page, else a
// whole new file, built aside (for a file object in memory, copied over the
// old one only when complete); an edit that changes nothing writes nothing.
#include "playback/inputs/ogg/ogg_comment_rewriter.h"

#include <gtest/gtest.h>

#include <ogg/ogg.h>

#include <string>
#include <vector>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "io/io_exceptions.h"
#include "io/memory_file.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/ogg_comment_codec.h"
#include "playback/inputs/ogg/ogg_album_art_file.h"
#include "io/retag_through_temp_file.h"
#include "tests/io/model_file.h"
#include "tests/support/single_factory.h"

namespace {

// A codec whose first packet starts with 'z' and whose second is the comment.
class test_handler : public ogg_comment_handler {
public:
  unsigned feed_header(const void*, std::uint32_t) override {
    return ++fed_ == 1 ? flush_after_packet : is_comment_packet | headers_complete | flush_after_packet;
  }
  void comment_layout(const void*& prefix, std::uint32_t& size, bool& framing) override {
    prefix = "z";
    size = 1;
    framing = false;
  }

private:
  int fed_ = 0;
};

class test_codec : public ogg_comment_codec {
public:
  bool accepts(const void* packet, std::uint32_t size) override {
    return size > 0 && *static_cast<const char*>(packet) == 'z';
  }
  void create(service_ptr<ogg_comment_handler>& out) override { out = new service_counted<test_handler>(); }
};

// Beside the program's services, so that the scratch-file scheme is there.
single_factory<test_codec> test_codec_registration(&service_factory::global_list_head);

std::string u32(std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

std::string comment_packet(const std::vector<std::string>& entries) {
  std::string packet = "z" + u32(1) + "v" + u32(std::uint32_t(entries.size()));
  for (const std::string& entry : entries) packet += u32(std::uint32_t(entry.size())) + entry;
  return packet;
}

// Two header pages, then `audio` packets of `size` bytes, each flushed: a
// packet over 65025 bytes takes two pages, the first ending none.
std::string make_stream(int audio, std::size_t size = 3000,
                        const std::vector<std::string>& comments = {"TITLE=a"}) {
  ogg_stream_state stream;
  ogg_stream_init(&stream, 77);
  std::string out;
  auto put = [&](std::string data, std::int64_t granule, bool flush) {
    ogg_packet packet{};
    packet.packet = reinterpret_cast<unsigned char*>(data.data());
    packet.bytes = static_cast<long>(data.size());
    packet.b_o_s = out.empty() && granule == 0 && data[0] == 'z' && data.size() == 5;
    packet.granulepos = granule;
    ogg_stream_packetin(&stream, &packet);
    ogg_page page;
    while ((flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) > 0) {
      out.append(reinterpret_cast<char*>(page.header), page.header_len);
      out.append(reinterpret_cast<char*>(page.body), page.body_len);
    }
  };
  put("zhead", 0, true);
  put(comment_packet(comments), 0, true);
  for (int i = 1; i <= audio; ++i) put(std::string(size, char('0' + i)), i * 1000, true);
  ogg_stream_clear(&stream);
  return out;
}

// Every page of the file, checked by libogg (capture pattern and CRC).
std::vector<std::string> pages_of(const std::string& file, std::vector<long>* sequence = nullptr) {
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, static_cast<long>(file.size()));
  std::memcpy(buffer, file.data(), file.size());
  ogg_sync_wrote(&sync, static_cast<long>(file.size()));
  std::vector<std::string> bodies;
  ogg_page page;
  int answer;
  while ((answer = ogg_sync_pageout(&sync, &page)) != 0) {
    EXPECT_EQ(answer, 1) << "no damaged page";
    bodies.emplace_back(reinterpret_cast<char*>(page.body), page.body_len);
    if (sequence) sequence->push_back(ogg_page_pageno(&page));
  }
  ogg_sync_clear(&sync);
  return bodies;
}

class OggCommentRewriter : public ::testing::Test {
protected:
  void SetUp() override { service_registry::table().build(service_factory::global_list_head); }
  void TearDown() override { service_registry::table().clear(); }

  vantrel_io::file_ptr file_with(const std::string& bytes) {
    vantrel_io::file_ptr file = vantrel_io::make_memory_file();
    file->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), abort);
    return file;
  }
  std::string contents(vantrel_io::file_object& file) {
    std::string out(static_cast<std::size_t>(file.get_size(abort)), '\0');
    file.seek(0, abort);
    file.read_exact(out.data(), static_cast<std::uint32_t>(out.size()), abort);
    return out;
  }

  raisable_abort_signal abort;
};

TEST_F(OggCommentRewriter, GrowingCommentRebuildsWithRenumberedPages) {
  const std::string original = make_stream(3);
  vantrel_io::file_ptr file = file_with(original);
  track_info_impl info;
  const std::string title(70000, 't');
  info.set_field("TITLE", 5, title.data(), title.size());
  retag_in_place no_path;
  ogg_comment_rewriter::write(file, {{0, original.size()}}, {{0, info}}, no_path, abort);

  std::vector<long> sequence;
  const std::vector<std::string> pages = pages_of(contents(*file), &sequence);
  ASSERT_GE(pages.size(), 6u) << "the comment needs a second page";
  for (std::size_t i = 0; i < sequence.size(); ++i) EXPECT_EQ(sequence[i], static_cast<long>(i)) << "page " << i;
  EXPECT_EQ(pages[pages.size() - 1], std::string(3000, '3')) << "audio pages copied as they were";
  EXPECT_EQ(pages[pages.size() - 3], std::string(3000, '1'));
}

TEST_F(OggCommentRewriter, AudioAfterTheHeadersIsCopiedAsItStands) {
  // The first audio packet starts a page that ends none; with that page
  // damaged, readers step over it and drop the rest of its packet.
  for (const bool damaged : {false, true}) {
    std::string original = make_stream(2, 70000);
    const std::size_t audio_at = original.find("OggS", original.find("OggS", 1) + 1);
    const std::size_t first_page = 27 + 255 + 255 * 255;
    if (damaged) original[audio_at + 1000] ^= 1;
    vantrel_io::file_ptr file = file_with(original);
    track_info_impl info;
    const std::string title(70000, 't');
    info.set_field("TITLE", 5, title.data(), title.size());
    retag_in_place no_path;
    ASSERT_NO_THROW(ogg_comment_rewriter::write(file, {{0, original.size()}}, {{0, info}}, no_path, abort))
        << "damaged " << damaged;

    const std::string after = contents(*file);
    const std::size_t audio_after = after.size() - (original.size() - audio_at);
    EXPECT_EQ(after.compare(audio_after, first_page, original, audio_at, first_page) == 0, damaged)
        << "only a damaged page is carried over byte for byte";
    const std::string next = after.substr(audio_after + first_page, 22);
    ASSERT_EQ(next.substr(0, 4), "OggS");
    // The comment now takes more pages: the audio moves as many numbers on,
    // and the number of the damaged page stays missing.
    const std::size_t header_pages = pages_of(after.substr(0, audio_after)).size();
    ASSERT_GT(header_pages, 2u);
    EXPECT_EQ(static_cast<unsigned char>(next[18]), header_pages + 1) << "damaged " << damaged;
    if (!damaged) {
      std::vector<long> sequence;
      const std::vector<std::string> pages = pages_of(after, &sequence);
      for (std::size_t i = 0; i < sequence.size(); ++i) EXPECT_EQ(sequence[i], static_cast<long>(i));
      EXPECT_EQ(pages.back().size(), 70000u - 255 * 255);
    }
  }
}

TEST_F(OggCommentRewriter, FailureWhileBuildingLeavesTheFileAlone) {
  const std::string original = make_stream(2);
  vantrel_io::file_ptr file = file_with(original);
  track_info_impl info;
  info.set_field("TITLE", 5, "a longer title", 14);
  retag_in_place no_path;
  // A link said to run past the end: the copy of its audio fails.
  EXPECT_THROW(ogg_comment_rewriter::write(file, {{0, original.size() + 100}}, {{0, info}}, no_path, abort),
               vantrel_io::exception_io_data);
  EXPECT_EQ(contents(*file), original);
}

TEST_F(OggCommentRewriter, PictureEditsGrowThenShrinkInPlace) {
  const std::string original = make_stream(2);
  vantrel_io::file_ptr file = file_with(original);
  retag_in_place no_path;
  const std::string big(10000, 'p'), huge(40000, 'h');
  // A file in memory is rebuilt for every change of a picture that spans
  // pages, laid out with the pictures first.
  const struct {
    std::string picture;  // empty: every picture removed
    const char* why;
  } steps[] = {
      {big, "a large picture"},
      {"GIF89a", "a smaller one"},
      {"", "removing it"},
      {huge, "a huge picture"},
      {"GIF89a", "shrinking by more than 16384 bytes"},
  };
  std::string before = original;
  for (const auto& step : steps) {
    ogg_comment_rewriter::link_edit edit;
    edit.pictures_changed = true;
    if (!step.picture.empty()) {
      edit.pictures.set(album_art_ids::front,
                        album_art_data::create_from_buffer(step.picture.data(), std::uint32_t(step.picture.size())));
    }
    ogg_comment_rewriter::write(file, {{0, before.size()}}, {{0, edit}}, no_path, abort);
    const std::string after = contents(*file);
    EXPECT_EQ(after.find("TITLE=a") > after.find("METADATA_BLOCK_PICTURE"), !step.picture.empty()) << step.why;
    std::vector<long> sequence;
    const std::vector<std::string> pages = pages_of(after, &sequence);
    for (std::size_t i = 0; i < sequence.size(); ++i) EXPECT_EQ(sequence[i], long(i)) << step.why;
    EXPECT_EQ(pages.back(), std::string(3000, '2')) << step.why;

    ogg_album_art_file read;
    album_art_data_ptr front;
    if (step.picture.empty()) {
      EXPECT_THROW(read.open(file, nullptr, false, abort), exception_album_art_not_found) << step.why;
    } else {
      read.open(file, nullptr, false, abort);
      ASSERT_TRUE(read.pictures().get(album_art_ids::front, front)) << step.why;
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(front->get_ptr()), front->get_size()), step.picture);
    }
    before = after;
  }
}

// The old title first, then a field that runs into the next page.
const std::vector<std::string> title_before_a_long_field = {"TITLE=old title", "BIG=" + std::string(6000, 'b'),
                                                            "ZZ=kept"};

TEST_F(OggCommentRewriter, OnlyAChangeWithinOnePageIsWrittenInPlace) {
  const std::string original = make_stream(2, 3000, title_before_a_long_field);
  struct attempt {
    const char* title;
    bool in_place;
  } attempts[] = {{"new title", true}, {"short", false}};
  for (const attempt& a : attempts) {
    auto model = io_test::make_model_file(original);
    int writes = 0;
    model->before_write = [&](std::uint32_t) { ++writes; };
    track_info_impl info;
    info.set_field("BIG", 3, title_before_a_long_field[1].c_str() + 4, 6000);
    info.set_field("TITLE", 5, a.title, std::strlen(a.title));
    info.set_field("ZZ", 2, "kept", 4);
    io_test::model_temp_source source(true);
    ogg_comment_rewriter::write(vantrel_io::file_ptr(model.get()), {{0, original.size()}}, {{0, info}}, source, abort);
    EXPECT_EQ(source.asked, a.in_place ? 0 : 1) << a.title;
    EXPECT_EQ(writes, a.in_place ? 1 : 0) << a.title;
    // A rewrite that made no temporary file fails here, not the whole program.
    ASSERT_TRUE(a.in_place || source.made) << a.title << ": no new file was built aside";
    const std::string after = a.in_place ? model->bytes : source.made->bytes;
    const std::size_t title = after.find(std::string("TITLE=") + a.title);
    ASSERT_NE(title, std::string::npos) << a.title;
    if (a.in_place) {
      EXPECT_EQ(after.size(), original.size()) << "the comment is padded to its old size: the pages keep their sizes";
      EXPECT_TRUE(title < after.find("BIG=") && after.find("BIG=") < after.find("ZZ=kept"))
          << "the fields keep their order";
      EXPECT_EQ(pages_of(after).size(), pages_of(original).size());
    } else {
      EXPECT_TRUE(after.find("BIG=") < title && title < after.find("ZZ=kept"))
          << "a file rewritten puts the large field before the short ones, which keep their order";
      EXPECT_EQ(model->bytes, original) << "the file itself is left to the move";
    }
  }

  // Without a temporary file, a file on disk is refused before any write.
  auto model = io_test::make_model_file(original);
  track_info_impl info;
  info.set_field("TITLE", 5, "a longer new title", 18);
  io_test::model_temp_source none(false);
  EXPECT_THROW(ogg_comment_rewriter::write(vantrel_io::file_ptr(model.get()), {{0, original.size()}}, {{0, info}},
                                           none, abort),
               exception_no_safe_rewrite);
  EXPECT_EQ(model->bytes, original);
}

TEST_F(OggCommentRewriter, AFileRewrittenTakesLaterTextEditsInOneWrite) {
  // The stream after a first one of some length (junk here), so that the
  // laid-out text page meets the pages of the file at different places: the
  // first edit rewrites the file, the later ones write one page each.
  for (const std::size_t lead : {0u, 1500u, 3900u}) {
    std::string file = std::string(lead, 'j') + make_stream(2, 3000, title_before_a_long_field);
    const char* titles[] = {"a title that grows", "short", "a title that grows again"};
    for (std::size_t edit = 0; edit < 3; ++edit) {
      auto model = io_test::make_model_file(file);
      int writes = 0;
      model->before_write = [&](std::uint32_t) { ++writes; };
      track_info_impl info;
      info.set_field("BIG", 3, title_before_a_long_field[1].c_str() + 4, 6000);
      info.set_field("TITLE", 5, titles[edit], std::strlen(titles[edit]));
      info.set_field("ZZ", 2, "kept", 4);
      io_test::model_temp_source source(true);
      const std::vector<ogg_comment_rewriter::link_range> now = {{0, lead}, {lead, file.size() - lead}};
      ogg_comment_rewriter::write(vantrel_io::file_ptr(model.get()), now, {{1, info}}, source, abort);
      EXPECT_EQ(source.asked, edit == 0 ? 1 : 0) << "lead " << lead << ", edit " << edit;
      EXPECT_EQ(writes, edit == 0 ? 0 : 1) << "lead " << lead << ", edit " << edit;
      ASSERT_TRUE(edit != 0 || source.made) << "lead " << lead << ": the first edit built no new file aside";
      file = edit == 0 ? source.made->bytes : model->bytes;
      EXPECT_NE(file.find(std::string("TITLE=") + titles[edit]), std::string::npos);
      pages_of(file.substr(lead));
    }
  }
}

TEST_F(OggCommentRewriter, AnEditThatChangesNoValueWritesNothing) {
  const std::string original = make_stream(2, 3000, {"Zeta=z", "TITLE=a", "ARTIST=b"});
  auto model = io_test::make_model_file(original);
  int writes = 0;
  model->before_write = [&](std::uint32_t) { ++writes; };
  // What a reading gives, less a field the comment does not hold.
  track_info_impl info;
  info.set_field("ARTIST", 6, "b", 1);
  info.set_field("TITLE", 5, "a", 1);
  info.set_field("Zeta", 4, "z", 1);
  io_test::model_temp_source source(true);
  ogg_comment_rewriter::write(vantrel_io::file_ptr(model.get()), {{0, original.size()}}, {{0, info}}, source, abort);
  EXPECT_EQ(writes, 0);
  EXPECT_EQ(source.asked, 0);
  EXPECT_EQ(model->bytes, original);

  info.set_field("TITLE", 5, "x", 1);
  ogg_comment_rewriter::write(vantrel_io::file_ptr(model.get()), {{0, original.size()}}, {{0, info}}, source, abort);
  EXPECT_EQ(model->bytes, make_stream(2, 3000, {"Zeta=z", "TITLE=x", "ARTIST=b"}))
      << "the edited field keeps its place, the others their bytes";
}

}  // namespace
