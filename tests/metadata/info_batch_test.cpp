#include "metadata/info_batch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tst_input.h"

namespace {

using namespace field_name_set;
using namespace metadata_test;

struct delivery {
  std::vector<const track_handle*> handles;
  std::uint8_t flag;
};

class recording_listener : public track_info_listener {
public:
  void on_info_changed(const track_handle_list& handles, std::uint8_t flag) override {
    delivery d{{}, flag};
    for (const track_handle_ptr& handle : handles) d.handles.push_back(handle.get());
    deliveries.push_back(d);
  }
  std::vector<delivery> deliveries;
};

class InfoPublishing : public ::testing::Test {
protected:
  void SetUp() override {
    table.build(list);
    track_info_changed_register(callback);
  }
  void TearDown() override { track_info_changed_unregister(callback); }

  recording_listener& heard() { return factory.instance; }

  service_factory* list = nullptr;
  single_factory<recording_listener> factory{&list};
  service_registry_table table;
  change_counter callback;
};

track_handle_ptr handle_of(const char* path) { return handle(path, 0); }

track_display_info record_titled(const char* text) {
  track_display_info record;
  record.set(title, text);
  return record;
}

track_info_impl info_titled(const char* text) {
  track_info_impl info;
  info.set_field("title", 5, text, track_info::until_nul);
  return info;
}

vantrel_io::file_stats stats_at(std::uint64_t size, std::uint64_t timestamp) { return {size, timestamp}; }

TEST_F(InfoPublishing, EachHandleOnceToListenersAndRegisteredCallbacksAndNothingForNone) {
  track_info_publish({}, 0, table);
  EXPECT_TRUE(heard().deliveries.empty());
  EXPECT_TRUE(callback.announcements.empty());

  const track_handle_ptr a = handle_of("file://C:\\pub\\a.mp3");
  const track_handle_ptr b = handle_of("file://C:\\pub\\b.mp3");
  track_info_publish({a, b, a}, 1, table);
  ASSERT_EQ(heard().deliveries.size(), 1u);
  EXPECT_EQ(heard().deliveries[0].handles.size(), 2u);
  EXPECT_EQ(heard().deliveries[0].flag, 1);
  EXPECT_EQ(callback.announcements, std::vector<std::size_t>{2});
}

// Of two reads of one handle the later wins; at equal times, the one added last.
TEST_F(InfoPublishing, BatchKeepsTheLaterReadOfAHandle) {
  const track_handle_ptr handle = handle_of("file://C:\\batch\\twice.mp3");
  const track_handle_ptr tick = handle_of("file://C:\\batch\\tick.mp3");
  info_batch batch;
  batch.add_read(handle, record_titled("second read"), 100, 2000);
  batch.add_read(handle, record_titled("first read"), 100, 1000);
  batch.add(tick, info_titled("earlier"), stats_at(10, 100), false);
  batch.add(tick, info_titled("later"), stats_at(10, 100), false);
  EXPECT_EQ(batch.pending_count(), 2u);
  batch.commit(table);
  EXPECT_EQ(cached_title(handle), "second read");
  EXPECT_EQ(cached_title(tick), "later");
}

TEST_F(InfoPublishing, CommitStoresEmptiesAndPublishesOnlyWhatWasStored) {
  const track_handle_ptr fresh = handle_of("file://C:\\batch\\fresh.mp3");
  const track_handle_ptr current = handle_of("file://C:\\batch\\current.mp3");
  ASSERT_TRUE(current->set_info(record_titled("newer already"), 500, 0, false));

  info_batch batch;
  batch.add(fresh, info_titled("fresh"), stats_at(10, 100), true);
  batch.add(current, info_titled("stale"), stats_at(10, 400), false);
  batch.commit(table);

  EXPECT_EQ(batch.pending_count(), 0u);
  EXPECT_EQ(cached_title(fresh), "fresh");
  EXPECT_EQ(cached_title(current), "newer already");
  ASSERT_EQ(heard().deliveries.size(), 1u);
  EXPECT_EQ(heard().deliveries[0].handles, std::vector<const track_handle*>{fresh.get()});
  EXPECT_EQ(heard().deliveries[0].flag, 0);

  batch.commit(table);  // nothing left: nothing published
  EXPECT_EQ(heard().deliveries.size(), 1u);
}

// A large selection's texts are never held twice: they move from the read
// through the batches into the handle.
TEST_F(InfoPublishing, CommitMovesTheTextsIntoTheHandleInsteadOfCopyingThem) {
  const track_handle_ptr handle = handle_of("file://C:\\batch\\moved.mp3");
  track_display_info record = record_titled(std::string(100000, 'x').c_str());
  const char* const text = record.get(title);
  info_batch worker_batch;
  worker_batch.add_read(handle, std::move(record), 100, 1000);
  info_batch batch;
  worker_batch.move_into(batch);
  batch.commit(table);
  track_info_lock hold;
  const track_display_info* stored = nullptr;
  ASSERT_TRUE(handle->get_info_ref(stored));
  EXPECT_EQ(stored->get(title), text);
}

// A file of two tracks, numbered 1 and 2, named after their subsong.
class two_track_input : public info_reader {
public:
  vantrel_io::file_stats get_file_stats(const abort_signal&) override { return stats_at(1000, 777); }
  std::uint32_t get_subsong_count() override { return 2; }
  std::uint32_t get_subsong(std::uint32_t index) override { return index + 1; }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal&) override {
    const std::string text = "track " + std::to_string(subsong);
    out.set_field("title", 5, text.c_str(), text.size());
    read.push_back(subsong);
  }
  std::vector<std::uint32_t> read;
};

TEST_F(InfoPublishing, ReadingAllSubsongsAlsoStoresTheWholeFile) {
  // Info lives as long as its handle: hold them across the commit.
  const track_handle_list held = {handle("unclaimed://cue/album.flac", 0), handle("unclaimed://cue/album.flac", 1),
                                   handle("unclaimed://cue/album.flac", 2)};
  service_single_instance<two_track_input> input;
  info_batch batch;
  batch.read_all_subsongs("unclaimed://cue/album.flac", input, never_raised_abort_signal());
  EXPECT_EQ(input.read, (std::vector<std::uint32_t>{1, 2, 0}));
  batch.commit(table);

  for (std::uint32_t subsong : {0u, 1u, 2u}) {
    EXPECT_EQ(cached_title(held[subsong]), "track " + std::to_string(subsong));
    track_info_lock hold;
    EXPECT_EQ(held[subsong]->get_info_timestamp(), 777u);
  }
  ASSERT_EQ(heard().deliveries.size(), 1u);
  EXPECT_EQ(heard().deliveries[0].handles.size(), 3u);
}

} // namespace
