// The library file's folder blob written when the address space has no
// large gap left, as after a selection whose texts filled it: the blob holds
// every track's display texts, and writing it must not need one block for
// all of them (at exit the write would fail and ask the user instead of
// ending).
#include "library/folder_blob.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/path_schemes.h"
#include "library_test_support.h"

namespace {

// The address space with no free gap larger than `gap` bytes while it
// lives: every other gap-sized piece and every smaller leftover is reserved
// (not committed), as a process whose tracks' texts filled it finds it.
class fragmented_address_space {
public:
  explicit fragmented_address_space(std::size_t gap) {
    std::vector<void*> pieces;
    while (void* piece = VirtualAlloc(nullptr, gap, MEM_RESERVE, PAGE_NOACCESS)) pieces.push_back(piece);
    while (void* rest = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS)) held_.push_back(rest);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i % 2 == 0) held_.push_back(pieces[i]);
      else VirtualFree(pieces[i], 0, MEM_RELEASE);
    }
  }
  ~fragmented_address_space() {
    for (void* piece : held_) VirtualFree(piece, 0, MEM_RELEASE);
  }
  fragmented_address_space(const fragmented_address_space&) = delete;
  fragmented_address_space& operator=(const fragmented_address_space&) = delete;

private:
  std::vector<void*> held_;
};

TEST(FolderBlobOutOfMemory, TracksWithLongTextsAreWrittenWithoutOneBlockForAllAndReadBack) {
  library_test::tst_input_registration inputs;
  io_test::scratch_folder folder;
  raisable_abort_signal abort;
  library_test::recording_sink sink{folder.file_url() + "\\"};
  const std::string title(1500000, 't');  // eight of them: twelve megabytes of texts
  for (char name = 'a'; name < 'i'; ++name)
    io_test::write_file(folder.path(std::string(1, name) + ".tst"), "TST\n" + title + name);
  folder_tree tree(&sink, abort);
  tree.reset(folder.file_url().c_str());
  tree.full_rescan();
  ASSERT_TRUE(library_test::wait_until([&] {
    folder_change_batch batch(tree);
    tree.run_retry_queue(batch);
    tree.flush(batch);
    return tree.nothing_pending();
  }));

  vantrel_io::file_ptr file;
  vantrel_io::open(file, folder.file_url("library.blob").c_str(), vantrel_io::open_mode::write_new,
                   never_raised_abort_signal());
  {
    const fragmented_address_space no_large_gap(4u << 20);
    EXPECT_NO_THROW(write_folder_blob(tree, *file, never_raised_abort_signal()));
  }

  EXPECT_GT(file->get_size(never_raised_abort_signal()), 8u * title.size()) << "every text is in the blob";
  sink.tracks.clear();
  file->seek(0, never_raised_abort_signal());
  folder_tree restored_tree(&sink, abort);
  track_handle_list restored;
  read_folder_blob(restored_tree, folder.file_url().c_str(), *file, restored);
  EXPECT_EQ(restored.size(), 8u);
  EXPECT_EQ(metadata_test::cached_title(metadata_test::handle(folder.file_url("h.tst"), 0)), title + 'h');
}

}  // namespace
