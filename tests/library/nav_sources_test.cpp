// Link captions, library positions and path splitting; the track sources the
// navigation plays from, over real folders of ".tst" files.
#include "library/nav_track_sources.h"

#include <gtest/gtest.h>

#include "library_test_support.h"

namespace {

TEST(LinkText, SetsBracketsApartFromTheirNeighbours) {
  const struct {
    const char* text;
    const char* escaped;
  } rows[] = {
      {"a<b", "a < b"}, {"<", "<"}, {"x >", "x >"}, {"<a>", "< a >"}, {"a <b> c", "a < b > c"}, {"plain", "plain"},
  };
  for (const auto& r : rows) {
    std::string out;
    link_text::append_escaped(out, r.text);
    EXPECT_EQ(out, r.escaped) << r.text;
  }
  std::string link;
  link_text::append_link(link, L"A<B");
  EXPECT_EQ(link, "<a>A < B</a>");
}

TEST(NavPaths, PositionsAndSplitPaths) {
  const auto wide = [](std::initializer_list<const wchar_t*> keys) { return wide_text_list(keys.begin(), keys.end()); };
  const struct {
    library_position position;
    nav_path path;
    const char* why;
  } rows[] = {
      {{}, {}, "no keys: the genres root"},
      {{{}, wide({L"A"}), L""}, {wide({L"[all genres]"}), wide({L"A"})}, "an artist under all genres"},
      {{wide({L"Rock"}), {}, L""}, {wide({L"Rock"})}, "a genre"},
      {{{}, wide({L"A", L"B"}), L"X [1999]"}, {wide({L"[all genres]"}), wide({L"A", L"B"}), wide({L"X [1999]"})},
       "an album under its album artists"},
  };
  for (const auto& r : rows) EXPECT_EQ(r.position.to_nav_path(), r.path) << r.why;
  EXPECT_EQ(nav_split_path(L"\\\\C:\\Music\\"), nav_path({wide({L"C:"}), wide({L"Music"})}));
  EXPECT_EQ(nav_split_path(L"C:\\a\\\\b"), nav_path({wide({L"C:"}), wide({L"a"}), wide({L"b"})}));
}

class TrackSources : public ::testing::Test {
public:
  library_test::tst_input_registration inputs;
  io_test::scratch_folder music;

  void file(const std::string& name) { io_test::write_file(music.path(name), "TST\nT"); }
  void folder(const std::string& name) { library_test::make_folder(music.path(name)); }

  static std::vector<std::string> play(const track_source_ptr& source, bool backwards = false) {
    std::vector<std::string> out;
    for (service_ptr<playback_item> item = backwards ? source->last() : source->first(); item;
         item = backwards ? item->previous() : item->next()) {
      const std::string path = item->get_handle()->get_location().get_path();
      out.push_back(path.substr(path.rfind('\\') + 1));
    }
    return out;
  }
};

using name_list = std::vector<std::string>;

TEST_F(TrackSources, FolderPlaysItsFilesByCodeUnitsThenSubfoldersDepthFirst) {
  for (const char* name : {"b.tst", "A.tst", "10.tst", "skip.txt", ".dot.tst"}) file(name);
  folder("empty");
  folder("sub");
  file("sub\\in.tst");
  folder("sub\\deeper");
  file("sub\\deeper\\deep.tst");
  const track_source_ptr source = folder_source_create(io_test::wide(music.path()));
  const name_list forward = play(source);
  EXPECT_EQ(forward, name_list({"10.tst", "A.tst", "b.tst", "in.tst", "deep.tst"}));
  EXPECT_EQ(play(source, true), name_list(forward.rbegin(), forward.rend())) << "previous mirrors next";
  EXPECT_EQ(source->find(source->last()->get_handle().get())->get_handle().get(), source->last()->get_handle().get());
}

TEST_F(TrackSources, ConcatenationSkipsChildrenWithoutItems) {
  file("one.tst");
  folder("sub");
  file("sub\\two.tst");
  folder("nothing");
  concat_source_builder concat;
  concat.append(single_track_source_create(metadata_test::handle(music.file_url("one.tst"), 0)));
  concat.append(folder_source_create(io_test::wide(music.path("nothing"))));
  concat.append(track_list_source_create({}));
  concat.append(folder_source_create(io_test::wide(music.path("sub"))));
  EXPECT_EQ(play(concat.get()), name_list({"one.tst", "two.tst"}));
  EXPECT_EQ(play(concat.get(), true), name_list({"two.tst", "one.tst"}));
  EXPECT_FALSE(folder_source_create(io_test::wide(music.path("nothing")))->first()) << "nothing to play";
}

TEST_F(TrackSources, FolderThatCannotBeListedFailsOnce) {
  const track_source_ptr source = folder_source_create(io_test::wide(music.path("gone\\deeper")));
  EXPECT_THROW(source->first(), exception_win32);
  EXPECT_FALSE(source->first()) << "the failed listing is not repeated";
}

TEST_F(TrackSources, DeepTreesStopAtTheDepthLimit) {
  std::string path;
  for (std::uint32_t depth = 1; depth <= folder_source_max_depth + 1; ++depth) {
    path += (depth > 1 ? "\\" : "") + std::string("d");
    folder(path);
    if (depth == folder_source_max_depth - 1 || depth == folder_source_max_depth) file(path + "\\" + std::to_string(depth) + ".tst");
  }
  EXPECT_EQ(play(folder_source_create(io_test::wide(music.path()))),
            name_list({std::to_string(folder_source_max_depth - 1) + ".tst"}));
}

}  // namespace
