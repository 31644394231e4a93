// The flat file list of a folder tree and the handle lists of its files:
// names that differ only in case or in bytes past ASCII stay apart and in
// byte order, erasing and packing the names keeps every other entry whole,
// and handles held in place or in a block are released exactly once.
#include "library/folder_file_list.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "metadata/track_handle_registry.h"

namespace {

track_handle_ptr handle(const std::string& name, std::uint32_t subsong = 0) {
  return track_handle_registry::get_handle(track_location(("file://C:\\list\\" + name).c_str(), subsong));
}

std::vector<std::string> names(const folder_file_list& list) {
  std::vector<std::string> out;
  for (const folder_tree_file& file : list) out.push_back(list.name_of(file));
  return out;
}

TEST(FolderFileList, NamesStayApartInByteOrderThroughInsertsErasesAndPacking) {
  folder_file_list list;
  const std::string long_name(300, 'L');
  // Out of order, with case twins, bytes past ASCII and a long name.
  for (const std::string& name : {std::string("song.tst"), std::string("\xC3\x84pfel.tst"), std::string("Song.tst"),
                                  long_name, std::string("SONG.tst"), std::string("a.tst")})
    list.insert(name).file_time = std::hash<std::string>()(name);
  EXPECT_EQ(&list.insert("Song.tst"), list.find("Song.tst")) << "an existing name is not added twice";
  EXPECT_EQ(names(list), (std::vector<std::string>{long_name, "SONG.tst", "Song.tst", "a.tst", "song.tst",
                                                   "\xC3\x84pfel.tst"}));
  EXPECT_EQ(list.find("SONG.TST"), nullptr);
  EXPECT_EQ(list.find("Song"), nullptr) << "a prefix is another name";

  // Enough erased that the names are packed, some more than once.
  const auto filler = [](int i) { return std::string(60, 'x') + std::to_string(i); };
  for (int i = 0; i < 40; ++i) list.insert(filler(i));
  for (int i = 0; i < 40; ++i) EXPECT_TRUE(list.erase(filler(i)));
  EXPECT_FALSE(list.erase(filler(0)));
  EXPECT_TRUE(list.erase("song.tst"));
  list.shrink_to_fit();
  EXPECT_EQ(names(list), (std::vector<std::string>{long_name, "SONG.tst", "Song.tst", "a.tst", "\xC3\x84pfel.tst"}));
  for (const folder_tree_file& file : list)
    EXPECT_EQ(file.file_time, std::hash<std::string>()(list.name_of(file))) << "each entry keeps its own fields";
}

TEST(FolderFileList, HandlesInPlaceOrInABlockAreHeldOnceAndReleasedWithTheirFile) {
  const track_handle_ptr one = handle("one.tst");
  const track_handle_list several = {handle("cue.tst", 1), handle("cue.tst", 2), handle("cue.tst", 3)};
  {
    folder_file_list list;
    track_handle_list given = {one};
    list.insert("one.tst").handles.assign(std::move(given));
    EXPECT_TRUE(given.empty());
    given = several;
    list.insert("cue.tst").handles.assign(std::move(given));
    // Inserting in front moves both entries.
    for (int i = 0; i < 20; ++i) list.insert("a" + std::to_string(i));

    const compact_handle_list& held_one = list.find("one.tst")->handles;
    ASSERT_EQ(held_one.size(), 1u);
    EXPECT_EQ(held_one.begin()->get(), one.get());
    const compact_handle_list& held_several = list.find("cue.tst")->handles;
    ASSERT_EQ(held_several.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(held_several.begin()[i].get(), several[i].get());
    EXPECT_FALSE(one->is_only_reference());
    EXPECT_FALSE(several[2]->is_only_reference());

    // One handle replacing three, then none.
    given = {several[0]};
    list.find("cue.tst")->handles.assign(std::move(given));
    EXPECT_TRUE(several[2]->is_only_reference());
    list.find("one.tst")->handles.clear();
    EXPECT_TRUE(one->is_only_reference());
    EXPECT_TRUE(list.find("one.tst")->handles.empty());
  }
  for (const track_handle_ptr& h : several) EXPECT_TRUE(h->is_only_reference()) << "the list's references end with it";
}

}  // namespace
