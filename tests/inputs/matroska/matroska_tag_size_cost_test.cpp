// Reading and retitling a Matroska file cost work in step with the size of
// its Tags: one Tag of thousands of SimpleTags once cost the square of
// their number, and a crafted file of a few megabytes held a thread for
// hours. So does an edit of every chapter's fields, which once searched
// each chapter's changes for each change of the first, and one of a file
// with thousands of one-value Tags elements, which merges them into one.
// The work is counted (elements visited, names compared, edits made), not
// timed.
#include "inputs/matroska/matroska_input.h"

#include <gtest/gtest.h>

#include <string>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "foundation/work_steps.h"
#include "tests/inputs/matroska/matroska_test_files.h"

using namespace Matroska;
using namespace matroska_test;

namespace {

constexpr std::uint32_t tags_id = 0x1254C367;

std::string simple_tags(std::size_t count, const std::string& prefix, std::size_t first = 0) {
  std::string out;
  for (std::size_t i = first; i < first + count; ++i)
    out += el(0x67C8, el(0x45A3, prefix + std::to_string(i)) + el(0x4487, "value " + std::to_string(i)));
  return out;
}

// As mkvmerge lays a file out: the Tags behind the cluster, named by the
// SeekHead; one Tag at the track's level holds `count` SimpleTags of names
// all different, and one beside it without a level holds as many again,
// half of whose names it shares (so its level is read from its neighbour).
std::string file_with_simple_tags(std::size_t count) {
  const std::string track_level = el(0x63C0, uint_el(0x68CA, 30) + uint_el(0x63C5, 7));
  const std::string level_unsaid = el(0x63C0, uint_el(0x63C5, 7));
  const std::string tags = el(tags_id, el(0x7373, track_level + simple_tags(count, "FIELD ")) +
                                           el(0x7373, level_unsaid + simple_tags(count / 2, "FIELD ") +
                                                          simple_tags(count / 2, "OTHER ")));
  const std::string block = el(0xA3, "\x81" + be(0, 2) + "\x80" + std::string(200, '\1'));
  return header() + segment_with_seekhead({{0x1549A966, info()}, {0x1654AE6B, pcm_track()},
                                           {0x1F43B675, cluster(0, block)}, {tags_id, tags}},
                                          {0x1549A966, 0x1654AE6B, tags_id});
}

// As ffmpeg lays a file out, its own Tags named by the SeekHead, and in
// front of the Cluster `count` values of another program that no SeekHead
// names: in one Tags element each, or all in one Tag of one element.
std::string file_with_front_values(std::size_t count, bool element_each) {
  const std::string album_level = el(0x63C0, uint_el(0x68CA, 50));
  std::string front;
  for (std::size_t i = 0; element_each && i < count; ++i)
    front += el(tags_id, el(0x7373, album_level + simple_tags(1, "FIELD ", i)));
  if (!element_each) front = el(tags_id, el(0x7373, album_level + simple_tags(count, "FIELD ")));
  const std::string own = el(tags_id, el(0x7373, el(0x63C0, uint_el(0x68CA, 30)) +
                                                     el(0x67C8, el(0x45A3, "TITLE") + el(0x4487, "Old title"))));
  const std::string block = el(0xA3, "\x81" + be(0, 2) + "\x80" + std::string(200, '\1'));
  // Listed under the Void's ID: the SeekHead does not name them.
  return header() + segment_with_seekhead({{0x1549A966, info()}, {0x1654AE6B, pcm_track()}, {tags_id, own},
                                           {0xEC, front}, {0x1F43B675, cluster(0, block)}},
                                          {0x1549A966, 0x1654AE6B, tags_id});
}

// The work of a title edit of such a file, which merges the values into
// one element and turns the others into Void.
std::uint64_t work_retitling_front_values(std::size_t count, bool element_each) {
  const vantrel_io::file_ptr file = memory_file(file_with_front_values(count, element_each));
  const std::uint64_t before = qiv::work_steps_on_this_thread();
  matroska_input input;
  input.open(file, "", open_reason::info_write, never_raised_abort_signal());
  track_info_impl info;
  input.get_info(0, info, never_raised_abort_signal());
  EXPECT_EQ(info.field_count(), count + 1);
  info.set_field("title", track_info::until_nul, "New title", track_info::until_nul);
  input.set_info(0, info);
  input.commit(never_raised_abort_signal());
  const std::uint64_t work = qiv::work_steps_on_this_thread() - before;

  matroska_input reread;
  reread.open(file, "", open_reason::info_read, never_raised_abort_signal());
  track_info_impl after;
  reread.get_info(0, after, never_raised_abort_signal());
  EXPECT_EQ(after.field_count(), count + 1);
  EXPECT_STREQ(after.field_value(after.find_field("title"), 0), "New title");
  EXPECT_STREQ(after.field_value(after.find_field("field 7"), 0), "value 7");
  return work;
}

// `chapters` chapters, each with a Tag of its own of `count` SimpleTags at
// the track's level, the same names in each.
std::string file_with_chapter_tags(std::uint64_t chapters, std::size_t count) {
  std::string entries, tags;
  for (std::uint64_t uid = 1; uid <= chapters; ++uid) {
    entries += chapter(uid, (uid - 1) * 1000000);
    tags += el(0x7373, el(0x63C0, uint_el(0x68CA, 30) + uint_el(0x63C4, uid)) + simple_tags(count, "FIELD "));
  }
  const std::string block = el(0xA3, "\x81" + be(0, 2) + "\x80" + std::string(200, '\1'));
  return header() + segment_with_seekhead({{0x1549A966, info()}, {0x1654AE6B, pcm_track()},
                                           {0x1043A770, el(0x1043A770, el(0x45B9, entries))},
                                           {0x1F43B675, cluster(0, block)}, {tags_id, el(tags_id, tags)}},
                                          {0x1549A966, 0x1654AE6B, 0x1043A770, tags_id});
}

// The work of removing every field of every chapter in one write.
std::uint64_t work_emptying_every_chapter(std::uint64_t chapters, std::size_t count) {
  const vantrel_io::file_ptr file = memory_file(file_with_chapter_tags(chapters, count));
  matroska_input input;
  input.open(file, "", open_reason::info_write, never_raised_abort_signal());
  EXPECT_EQ(input.get_subsong_count(), chapters);
  for (std::uint32_t subsong = 1; subsong <= chapters; ++subsong) {
    track_info_impl info;
    input.get_info(subsong, info, never_raised_abort_signal());
    EXPECT_EQ(info.field_count(), count);
    info.remove_all_fields();
    input.set_info(subsong, info);
  }
  const std::uint64_t before = qiv::work_steps_on_this_thread();
  input.commit(never_raised_abort_signal());
  const std::uint64_t work = qiv::work_steps_on_this_thread() - before;

  matroska_input reread;
  reread.open(file, "", open_reason::info_read, never_raised_abort_signal());
  for (const std::uint32_t subsong : {1u, std::uint32_t(chapters)}) {
    track_info_impl after;
    reread.get_info(subsong, after, never_raised_abort_signal());
    EXPECT_EQ(after.field_count(), 0u) << subsong;
  }
  return work;
}

struct work_done {
  std::uint64_t reading = 0;
  std::uint64_t retitling = 0;
};

work_done work_on_file_with_simple_tags(std::size_t count) {
  const vantrel_io::file_ptr file = memory_file(file_with_simple_tags(count));
  work_done work;
  const std::uint64_t before = qiv::work_steps_on_this_thread();
  matroska_input input;
  input.open(file, "", open_reason::info_write, never_raised_abort_signal());
  track_info_impl info;
  input.get_info(0, info, never_raised_abort_signal());
  work.reading = qiv::work_steps_on_this_thread() - before;
  // The names the two Tags share are one field of two values.
  EXPECT_EQ(info.field_count(), count + count / 2);
  info.set_field("title", track_info::until_nul, "New title", track_info::until_nul);
  input.set_info(0, info);
  input.commit(never_raised_abort_signal());
  work.retitling = qiv::work_steps_on_this_thread() - before;

  matroska_input reread;
  reread.open(file, "", open_reason::info_read, never_raised_abort_signal());
  track_info_impl after;
  reread.get_info(0, after, never_raised_abort_signal());
  EXPECT_EQ(after.field_count(), count + count / 2 + 1);
  EXPECT_STREQ(after.field_value(after.find_field("title"), 0), "New title");
  EXPECT_STREQ(after.field_value(after.find_field("field 7"), 0), "value 7");
  return work;
}

}  // namespace

TEST(MatroskaTagSizeCost, ReadingAndRetitlingGrowInStepWithTheSimpleTags) {
  service_registry::table().build(service_factory::global_list_head);
  const work_done small = work_on_file_with_simple_tags(8000);
  const work_done large = work_on_file_with_simple_tags(32000);
  ASSERT_GT(small.reading, 8000u);
  // Four times the SimpleTags: about four times the work, where a cost
  // growing with their square would be sixteen times.
  EXPECT_LT(large.reading, 5 * small.reading);
  EXPECT_LT(large.retitling, 5 * small.retitling);
}

TEST(MatroskaTagSizeCost, AnEditOfEveryChapterGrowsInStepWithTheirSimpleTags) {
  service_registry::table().build(service_factory::global_list_head);
  // 8,000 SimpleTags, then 32,000: twice the chapters with twice the tags.
  const std::uint64_t small = work_emptying_every_chapter(40, 200);
  const std::uint64_t large = work_emptying_every_chapter(80, 400);
  ASSERT_GT(small, 8000u);
  EXPECT_LT(large, 5 * small);
}

TEST(MatroskaTagSizeCost, ManyOneValueTagsElementsCostAboutWhatOneElementOfTheirValuesCosts) {
  service_registry::table().build(service_factory::global_list_head);
  // Thousands of small elements turned into Void a page at a time once made
  // every edit of a page again for each edit the page took.
  const std::uint64_t one_element = work_retitling_front_values(4000, false);
  const std::uint64_t element_each = work_retitling_front_values(4000, true);
  ASSERT_GT(one_element, 4000u);
  EXPECT_LT(element_each, 4 * one_element);
  EXPECT_LT(work_retitling_front_values(16000, true), 5 * element_each);
}
