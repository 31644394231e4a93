// Where a tag write goes: in place only as steps a killed process cannot
// split (one write within one 4 KiB page, or one cut), else whole into the
// temporary file; and refused, with the file unchanged, where that file
// cannot be had.
#include "metadata/tags/tag_region_update.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/io/io_test_support.h"
#include "tests/io/model_file.h"

namespace {

using bytes = std::vector<std::uint8_t>;

bytes of(const std::string& text) { return bytes(text.begin(), text.end()); }

struct write_call {
  std::uint64_t position;
  std::uint32_t size;
};

// 3000 bytes of leading tag, audio to 9000, a trailing tag to 9300: the
// page boundaries at 4096 and 8192 fall in the audio.
const std::string head = std::string(3000, 'h');
const std::string audio_bytes = std::string(6000, 'a');
const std::string tail = std::string(300, 't');

std::string changed(std::string text, std::size_t at, char value) {
  text[at] = value;
  return text;
}

// The update of the file head + audio + tail.
tag_region_update update_of(const std::string& leading, const std::string& trailing) {
  tag_region_update update;
  update.leading_length = head.size();
  update.leading = of(leading);
  update.trailing_start = head.size() + audio_bytes.size();
  update.trailing = of(trailing);
  return update;
}

TEST(TagRegionUpdate, GoesInPlaceOnlyAsStepsAKillCannotSplit) {
  // A leading tag over the first page boundary, and audio that puts the
  // trailing tag over a later one.
  const std::string big_head = std::string(5000, 'h');
  const std::string straddling_audio = std::string(8100 - head.size(), 'a');
  const std::string audio_to_near_a_boundary = std::string(8150 - tail.size() - head.size(), 'a');
  struct road_case {
    const char* why;
    std::string old_head, audio;
    std::string leading, trailing;
    bool in_place;
    int writes;
  };
  const road_case cases[] = {
      {"nothing changes", head, audio_bytes, head, tail, true, 0},
      {"a leading change within one page", head, audio_bytes, changed(changed(head, 10, 'x'), 2000, 'y'), tail, true, 1},
      {"a change of a large leading tag within its second page", big_head, audio_bytes,
       changed(changed(big_head, 4200, 'x'), 4900, 'y'), tail, true, 1},
      {"a leading change across a page boundary", big_head, audio_bytes, changed(changed(big_head, 10, 'x'), 4500, 'y'),
       tail, false, 0},
      {"a trailing change within one page", head, audio_bytes, head, changed(changed(tail, 0, 'x'), 299, 'y'), true, 1},
      {"a trailing change across a page boundary", head, straddling_audio, head,
       changed(changed(tail, 0, 'x'), 299, 'y'), false, 0},
      {"a trailing run that grows within its page", head, audio_bytes, head, tail + "more", true, 1},
      {"a trailing run that grows past a page boundary", head, audio_to_near_a_boundary, head,
       tail + std::string(100, 'm'), false, 0},
      {"a trailing run that grows from a change in another page", head, straddling_audio, head,
       changed(tail, 0, 'x') + "m", false, 0},
      {"a trailing run that shrinks: a write, then a cut", head, audio_bytes, head, tail.substr(0, 100), false, 0},
      {"a trailing run cut off whole", head, audio_bytes, head, "", true, 0},
      {"a leading tag of another size", head, audio_bytes, head + "h", tail, false, 0},
      {"a leading tag of another size and a trailing change", head, audio_bytes, head + "h", changed(tail, 0, 'x'), false,
       0},
      {"both ends, where no order is known safe", head, audio_bytes, changed(head, 10, 'x'), changed(tail, 0, 'x'), false,
       0},
  };
  for (const road_case& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string original = c.old_head + c.audio + tail;
    for (const bool has_temp : {true, false}) {
      auto model = io_test::make_model_file(original);
      std::vector<write_call> writes;
      model->before_write = [&](std::uint32_t size) { writes.push_back({model->position, size}); };
      vantrel_io::file_ptr file(model.get());
      tag_region_update update;
      update.leading_length = c.old_head.size();
      update.leading = of(c.leading);
      update.trailing_start = c.old_head.size() + c.audio.size();
      update.trailing = of(c.trailing);
      const std::string wanted = c.leading + c.audio + c.trailing;
      io_test::model_temp_source temp;
      retag_in_place none;
      retag_temp_source& source = has_temp ? static_cast<retag_temp_source&>(temp) : none;
      if (!c.in_place && !has_temp) {
        EXPECT_THROW(apply_tag_region_update(file, source, update, io_test::no_abort()), exception_no_safe_rewrite);
        EXPECT_TRUE(original == model->bytes);
        EXPECT_TRUE(writes.empty());
        continue;
      }
      apply_tag_region_update(file, source, update, io_test::no_abort());
      ASSERT_EQ(!c.in_place, static_cast<bool>(temp.made));
      EXPECT_TRUE(wanted == (c.in_place ? model->bytes : temp.made->bytes));
      if (!c.in_place) {
        EXPECT_TRUE(original == model->bytes) << "the file changes only by the commit";
        continue;
      }
      ASSERT_EQ(static_cast<std::size_t>(c.writes), writes.size());
      for (const write_call& w : writes)
        EXPECT_EQ(w.position / 4096, (w.position + w.size - 1) / 4096) << "a write within one page";
    }
  }
}

TEST(TagRegionUpdate, ARewriteTakesTheLeadingRegionLaidOutForIt) {
  const std::string wanted_in_place = changed(head, 5, 'x');
  const std::string laid_out = std::string(head.size(), 'L');
  for (const bool grows : {false, true}) {
    auto model = io_test::make_model_file(head + audio_bytes + tail);
    vantrel_io::file_ptr file(model.get());
    tag_region_update update = update_of(wanted_in_place, grows ? tail + std::string(5000, 'g') : tail);
    update.leading_for_rewrite = of(laid_out);
    io_test::model_temp_source temp;
    apply_tag_region_update(file, temp, update, io_test::no_abort());
    ASSERT_EQ(grows, static_cast<bool>(temp.made));
    const std::string now(update.leading.begin(), update.leading.end());
    EXPECT_EQ(grows ? laid_out : wanted_in_place, now) << "the leading region the file was given";
    const std::string& result = grows ? temp.made->bytes : model->bytes;
    EXPECT_EQ(now, result.substr(0, head.size()));
  }
}

}  // namespace
