// The WAV input's info writer on a file object its caller holds, where the
// chunk edits cannot go through a copy: made in place only as one write
// within one page, else refused.
#include <gtest/gtest.h>

#include <string>

#include "io/io_exceptions.h"
#include "io/retag_through_temp_file.h"
#include "metadata/input_dispatch.h"
#include "metadata/tags/riff_tags.h"
#include "metadata/track_info.h"
#include "tests/io/io_test_support.h"
#include "tests/io/model_file.h"

namespace {

std::string le32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

std::string chunk(const std::string& id, const std::string& data) {
  return id + le32(std::uint32_t(data.size())) + data + (data.size() & 1 ? std::string(1, '\0') : "");
}

std::string wav_with_title(const std::string& title, std::size_t audio = 4000) {
  const std::string fmt = std::string("\x01\x00\x02\x00", 4) + le32(44100) + le32(44100 * 4) +
                          std::string("\x04\x00\x10\x00", 4);
  const std::string body = "WAVE" + chunk("fmt ", fmt) + chunk("data", io_test::pattern(audio)) +
                           chunk("LIST", "INFO" + chunk("INAM", title + '\0'));
  return "RIFF" + le32(std::uint32_t(body.size())) + body;
}

// With the id3 chunk every write keeps beside the INFO list, both within
// the file's first page: a title of the same length then changes a few
// bytes of one page.
std::string wav_with_both_chunks(const std::string& title) {
  auto file = io_test::make_model_file(wav_with_title("placeholder", 1000));
  track_info_impl info;
  info.set_field("title", track_info::until_nul, title.c_str(), track_info::until_nul);
  riff_tags::write(*file, info, io_test::no_abort());
  return file->bytes;
}

std::string title_of(const std::string& bytes) {
  auto file = io_test::make_model_file(bytes);
  track_info_impl info;
  riff_tags::read(*file, info, io_test::no_abort());
  return info.field_value_count(0) ? info.field_value(0, 0) : "";
}

TEST(WavInfoWriter, ACancellationDoesNotCutAnEditInPlaceShort) {
  io_test::build_registry();
  const std::string original = wav_with_both_chunks("old title");
  ASSERT_EQ("old title", title_of(original));
  for (int raise_at = 1; raise_at <= 6; ++raise_at) {
    auto model = io_test::make_model_file(original);
    model->checks_abort = true;
    raisable_abort_signal abort;
    info_writer_ptr writer;
    input_dispatch::open_info_writer(writer, vantrel_io::file_ptr(model.get()), "memory.wav", abort);
    track_info_impl info;
    info.set_field("title", track_info::until_nul, "new title", track_info::until_nul);
    int writes = 0;
    model->before_write = [&](std::uint32_t) {
      if (++writes == raise_at) abort.raise();
    };
    try {
      writer->set_info(0, info, abort);
      writer->commit(abort);
    } catch (const vantrel_io::exception_aborted&) {
    }
    if (model->bytes == original) continue;
    EXPECT_EQ("new title", title_of(model->bytes)) << "abort raised at write " << raise_at;
  }
}

TEST(WavInfoWriter, AnEditThatIsNoSingleWriteIsRefusedOnAFileItsCallerHolds) {
  io_test::build_registry();
  const std::string original = wav_with_both_chunks("old title");
  struct edit_case {
    const char* title;
    int writes;  // -1: refused
  };
  for (const edit_case& c : {edit_case{"new title", 1}, edit_case{"a new and longer title", -1},
                             edit_case{"old title", 0}}) {
    auto model = io_test::make_model_file(original);
    int writes = 0;
    model->before_write = [&](std::uint32_t) { ++writes; };
    info_writer_ptr writer;
    input_dispatch::open_info_writer(writer, vantrel_io::file_ptr(model.get()), "memory.wav", io_test::no_abort());
    track_info_impl info;
    info.set_field("title", track_info::until_nul, c.title, track_info::until_nul);
    if (c.writes < 0) {
      EXPECT_THROW(writer->set_info(0, info, io_test::no_abort()), exception_no_safe_rewrite) << c.title;
      EXPECT_TRUE(original == model->bytes) << c.title;
      EXPECT_EQ(0, writes) << c.title;
      continue;
    }
    writer->set_info(0, info, io_test::no_abort());
    writer->commit(io_test::no_abort());
    EXPECT_EQ(c.writes, writes) << c.title;
    EXPECT_EQ(c.title, title_of(model->bytes));
  }
}

}  // namespace
