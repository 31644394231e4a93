#include "metadata/tags/tag_changes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "metadata/track_info.h"

namespace {

constexpr std::size_t all = track_info::until_nul;

std::vector<std::string> fields_as_text(const track_info& info) {
  std::vector<std::string> out;
  for (std::uint32_t i = 0; i < info.field_count(); ++i) {
    std::string text = std::string(info.field_name(i)) + "=";
    for (std::uint32_t v = 0; v < info.field_value_count(i); ++v) text += (v ? "|" : "") + std::string(info.field_value(i, v));
    out.push_back(text);
  }
  return out;
}

}  // namespace

TEST(TagChanges, AppliedChangesLeaveUntouchedFieldsInPlaceAndChangedOnesAtTheEnd) {
  track_info_impl tag;
  tag.append_field("Artist", all, "a", all);
  tag.append_field("Title", all, "t", all);
  tag.append_field("Comment", all, "c", all);
  tag.append_field("TITLE", all, "second spelling", all);  // only the first of a name is the field
  track_info_impl edited(tag);
  qiv::bit_array comment(edited.field_count());
  comment.set(2, true);
  edited.remove_fields(comment);
  edited.set_field("artist", all, "b", all);
  edited.add_field_value(edited.find_field("artist"), "c", all);
  edited.append_field("album", all, "new", all);
  replaygain_info gain;
  gain.track_gain = -3.0f;
  edited.set_replaygain(gain);

  const tag_changes changes = tag_changes::between(tag, edited);
  track_info_impl one_by_one(tag);
  for (const auto& [name, values] : changes.all()) changes.apply_one_to(one_by_one, name);
  changes.apply_to(tag);
  EXPECT_EQ(fields_as_text(one_by_one), fields_as_text(tag));
  EXPECT_EQ((std::vector<std::string>{"Title=t", "TITLE=second spelling", "album=new", "artist=b|c"}),
            fields_as_text(tag));
  EXPECT_FLOAT_EQ(-3.0f, tag.get_replaygain().track_gain);
}
