// Writing an APEv2 tag costs work in step with its fields: each field's
// items were once gathered by a pass over every field, and its group looked
// for among every group written before it, so a first tag of thousands of
// fields, or an edit of them all, cost their square. The work is counted
// (fields visited, names compared), not timed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/tag_service.h"
#include "foundation/work_steps.h"
#include "io/memory_file.h"
#include "metadata/tags/tag_changes.h"
#include "metadata/tags/trailing_tags.h"
#include "metadata/track_info.h"

namespace {

void add(track_info& info, const std::string& name, const std::string& value) {
  info.append_field(name.c_str(), name.size(), value.c_str(), value.size());
}

std::string item_text(const apev2::item_list& items) {
  std::string text;
  for (const apev2::item& i : items) {
    std::string value = i.value;
    for (char& c : value)
      if (c == '\0') c = '|';
    text += i.key + "=" + value + ";";
  }
  return text;
}

// The tags found behind some audio and `bytes`.
trailing_tags tags_in(const std::vector<std::uint8_t>& bytes) {
  const vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  const std::vector<std::uint8_t> audio(4096, 0x55);
  file->write(audio.data(), std::uint32_t(audio.size()), never_raised_abort_signal());
  file->write(bytes.data(), std::uint32_t(bytes.size()), never_raised_abort_signal());
  return find_trailing_tags(*file, true, never_raised_abort_signal());
}

struct work_done {
  std::uint64_t first_write = 0;
  std::uint64_t edit = 0;
};

// A first tag of `count` fields of distinct names, then an edit of every
// value.
work_done work_on_fields(std::size_t count) {
  track_info_impl info;
  for (std::size_t i = 0; i < count; ++i) add(info, "field " + std::to_string(i), "value " + std::to_string(i));
  trailing_tags none;
  const tag_changes all_new = tag_changes::between(track_info_impl(), info);
  work_done work;
  std::uint64_t before = qiv::work_steps_on_this_thread();
  const std::vector<std::uint8_t> first = render_trailing_tags(none, info, all_new, tag_service::write_apev2);
  work.first_write = qiv::work_steps_on_this_thread() - before;

  trailing_tags found = tags_in(first);
  EXPECT_EQ(found.apev2_items.size(), count);
  const apev2::item_list as_written = found.apev2_items;
  track_info_impl as_read;
  trailing_tags_to_info(found, as_read);
  track_info_impl edited(as_read);
  for (std::uint32_t f = 0; f < edited.field_count(); ++f) {
    const std::string value = std::string("new ") + edited.field_value(f, 0);
    edited.replace_field_value(f, 0, value.c_str(), value.size());
  }
  const tag_changes every_value = tag_changes::between(as_read, edited);
  before = qiv::work_steps_on_this_thread();
  const std::vector<std::uint8_t> again = render_trailing_tags(found, edited, every_value, tag_service::write_apev2);
  work.edit = qiv::work_steps_on_this_thread() - before;

  // Each item keeps its place, with its new value.
  const apev2::item_list rewritten = tags_in(again).apev2_items;
  EXPECT_EQ(rewritten.size(), count);
  for (std::size_t i = 0; i < rewritten.size() && i < as_written.size(); i += 997) {
    EXPECT_EQ(rewritten[i].key, as_written[i].key);
    EXPECT_EQ(rewritten[i].value, "new " + as_written[i].value);
  }
  return work;
}

}  // namespace

TEST(Apev2WritingCost, FirstTagAndEditOfEveryFieldGrowInStepWithTheFields) {
  const work_done small = work_on_fields(8000);
  const work_done large = work_on_fields(32000);
  ASSERT_GT(small.first_write, 8000u);
  ASSERT_GT(small.edit, 8000u);
  // Four times the fields: about four times the work, where a cost growing
  // with their square would be sixteen times.
  EXPECT_LT(large.first_write, 5 * small.first_write);
  EXPECT_LT(large.edit, 5 * small.edit);
}

TEST(Apev2WritingCost, FieldsOfOneGroupBecomeOneItemWhereTheFirstStood) {
  // Names that match with letters folded share one item, the pair fields
  // share "Track", and every group is written once however many fields or
  // changes name it.
  track_info_impl info;
  add(info, "artist", "a");
  add(info, "title", "t");
  add(info, "totaltracks", "9");
  add(info, "ARTIST", "b");
  add(info, "tracknumber", "3");
  add(info, "Title", "u");
  apev2::item_list items = {{false, 1, "Cover Art (Front)", "img"}, {false, 0, "Comment", "gone"}};
  apev2::write_from_track_info(items, info);
  EXPECT_EQ("Cover Art (Front)=img;Track=3/9;Artist=a|b;Title=t|u;", item_text(items));

  // An edit of a tag: changed groups stay where their first item stood,
  // new ones follow in name order, untouched items keep their bytes.
  items = {{false, 0, "Title", "old"}, {false, 0, "Mood", "calm"}, {false, 0, "Track", "1/2"},
           {false, 0, "TITLE", "older"}, {false, 0, "Artist", "x"}};
  track_info_impl as_read;
  apev2::read_into_track_info(items, apev2::version_2, as_read);
  track_info_impl edited(as_read);
  edited.replace_field_value(edited.find_field("title"), 0, "new", 3);
  edited.remove_field_value(edited.find_field("artist"), 0);
  edited.replace_field_value(edited.find_field("totaltracks"), 0, "12", 2);
  add(edited, "genre", "g");
  add(edited, "composer", "c");
  const tag_changes changes = tag_changes::between(as_read, edited);
  changes.apply_to(as_read);
  apev2::write_changes(items, as_read, changes);
  EXPECT_EQ("Title=new|older;Mood=calm;Track=1/12;Composer=c;Genre=g;", item_text(items));
}
