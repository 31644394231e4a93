// The configuration store against real files: what it writes, when it
// leaves "config.dat" alone, and what damaged files leave of the settings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/app_state.h"
#include "core/config_item_kinds.h"
#include "core/dsp_chain.h"
#include "core/font_record.h"
#include "core/service_factory.h"
#include "io/config_store.h"
#include "io/io_exceptions.h"
#include "io_test_support.h"
#include "support/byte_stream_buffers.h"

namespace {

using test_support::bytes;
using test_support::concat;
using test_support::guid_memory_bytes;
using test_support::u32_bytes;
using vantrel_io::config_store;

const abort_signal& no_abort = never_raised_abort_signal();

constexpr GUID volume_guid = {0x8815239B, 0xFDF3, 0x4DD8, {0xB6, 0xE2, 0xE4, 0x83, 0x4E, 0x83, 0x76, 0x1C}};
constexpr GUID pattern_guid = {0xF402A43D, 0xB1F6, 0x451A, {0x8E, 0x42, 0x03, 0xE4, 0x60, 0x70, 0x30, 0xE8}};
constexpr GUID chain_guid = {0x5E8263F3, 0x5D4C, 0x4A03, {0xBD, 0x41, 0x2B, 0xBF, 0x1E, 0xE2, 0xC2, 0x4D}};
constexpr GUID unknown_guid = {0x0F1E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0}};
constexpr GUID font_guid = {0x1F0E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0x0F}};

std::string as_string(const bytes& data) { return std::string(data.begin(), data.end()); }
bytes as_bytes(const std::string& text) { return bytes(text.begin(), text.end()); }

bytes record(const GUID& guid, const bytes& value) {
  return concat({guid_memory_bytes(guid), u32_bytes({static_cast<std::uint32_t>(value.size())}), value});
}

bytes make_file(const bytes& payload) {
  const vantrel_io::md5_digest digest = config_store::digest_of(payload.data(), static_cast<std::uint32_t>(payload.size()));
  return concat({guid_memory_bytes(config_store::file_guid), bytes(digest.bytes, digest.bytes + 16),
                 u32_bytes({static_cast<std::uint32_t>(payload.size())}), payload});
}

class ConfigStore : public ::testing::Test {
protected:
  void SetUp() override {
    io_test::build_registry();
    app::state().profile_path.set_string(folder.file_url().c_str());
    app::state().quiet = true;  // a prompt would wait for a user forever
  }

  std::string config_path() const { return folder.path("config.dat"); }

  void set_old_time() const {
    const HANDLE file = CreateFileW(io_test::wide(config_path()).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFileTime(file, nullptr, nullptr, &old_time);
    CloseHandle(file);
  }
  bool has_old_time() const {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(io_test::wide(config_path()).c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime.dwLowDateTime == old_time.dwLowDateTime &&
           data.ftLastWriteTime.dwHighDateTime == old_time.dwHighDateTime;
  }

  io_test::scratch_folder folder;
  config_item* items = nullptr;
  config_float volume{volume_guid, 0.0f, &items};
  config_text pattern{pattern_guid, "%title%", &items};
  config_dsp_chain chain{chain_guid, &items};
  service_single_instance<config_store> store{&items};
  const FILETIME old_time = {0x12345678, 0x01C00000};
};

TEST_F(ConfigStore, PathIsTheProfileFolderWithOneBackslash) {
  app::state().profile_path.set_string("file://C:\\Profile");
  EXPECT_STREQ(config_store::get_path().get_ptr(), "file://C:\\Profile\\config.dat");
  app::state().profile_path.set_string("file://C:\\");
  EXPECT_STREQ(config_store::get_path().get_ptr(), "file://C:\\config.dat");
}

TEST_F(ConfigStore, WithoutAFileItemsKeepDefaultsAndTheFirstSaveWritesThem) {
  store.load();
  EXPECT_EQ(volume.get(), 0.0f);
  store.save(false);
  // The newest item comes first, as the item list holds them.
  const bytes payload = concat({record(chain_guid, u32_bytes({0})), record(pattern_guid, as_bytes("%title%")),
                                record(volume_guid, u32_bytes({0}))});
  EXPECT_EQ(io_test::read_file(config_path()), as_string(make_file(payload)));
  EXPECT_FALSE(io_test::exists(config_path() + ".tmp"));
}

TEST_F(ConfigStore, SavingWithoutChangesWritesNothing) {
  store.save(false);
  set_old_time();
  store.save(false);
  store.save_now();
  EXPECT_TRUE(has_old_time());

  volume.set(-3.0f);
  store.save(false);
  EXPECT_FALSE(has_old_time());
}

TEST_F(ConfigStore, PayloadRecordsApplyAsFarAsTheyAreWhole) {
  const struct {
    const char* why;
    bytes payload;
    bool fails;
    float volume_after;
    const char* pattern_after;
  } cases[] = {
      {"any order, past unknown records and unread tails",
       concat({record(volume_guid, concat({u32_bytes({0xC0C00000}), bytes{9, 9, 9}})), record(unknown_guid, bytes(100, 7)),
               record(pattern_guid, as_bytes("%artist%"))}),
       false, -6.0f, "%artist%"},
      {"a damaged record skips only its item",
       concat({record(volume_guid, bytes{1, 2}), record(pattern_guid, as_bytes("%album%"))}), false, 0.0f, "%album%"},
      {"a size field cut short stops after the records before it",
       concat({record(pattern_guid, as_bytes("%album%")), guid_memory_bytes(volume_guid), bytes{4, 0}}), true, 0.0f,
       "%album%"},
      {"a record cut off by the end is not handed to its item",
       concat({guid_memory_bytes(pattern_guid), u32_bytes({20}), as_bytes("%album%")}), true, 0.0f, "%title%"},
  };
  for (const auto& c : cases) {
    volume.set(0.0f);
    pattern.set("%title%");
    vantrel_io::memory_reader reader(c.payload.data(), static_cast<std::uint32_t>(c.payload.size()));
    if (c.fails)
      EXPECT_THROW(store.read_payload(reader, no_abort), vantrel_io::exception_io_data) << c.why;
    else
      EXPECT_NO_THROW(store.read_payload(reader, no_abort)) << c.why;
    EXPECT_EQ(volume.get(), c.volume_after) << c.why;
    EXPECT_STREQ(pattern.get(), c.pattern_after) << c.why;
  }
}

TEST_F(ConfigStore, AStoredFontNameAlwaysEndsWithinItsArray) {
  config_font font{font_guid, font_record{}, &items};
  font_record stored;
  for (wchar_t& unit : stored.face_name) unit = L'W';
  const bytes record_bytes(reinterpret_cast<const std::uint8_t*>(&stored),
                           reinterpret_cast<const std::uint8_t*>(&stored) + sizeof(stored));
  const bytes payload = record(font_guid, record_bytes);
  vantrel_io::memory_reader reader(payload.data(), static_cast<std::uint32_t>(payload.size()));
  store.read_payload(reader, no_abort);
  EXPECT_EQ(std::wstring(font.get().face_name), std::wstring(LF_FACESIZE - 1, L'W'));
}

TEST_F(ConfigStore, OfTwoItemsWithOneGuidTheEarlierRegisteredReads) {
  config_item* twins = nullptr;
  config_int32 earlier(volume_guid, 1, &twins);
  config_int32 later(volume_guid, 2, &twins);
  service_single_instance<config_store> twin_store{&twins};
  const bytes payload = record(volume_guid, u32_bytes({7}));
  vantrel_io::memory_reader reader(payload.data(), static_cast<std::uint32_t>(payload.size()));
  twin_store.read_payload(reader, no_abort);
  EXPECT_EQ(earlier.get(), 7);
  EXPECT_EQ(later.get(), 2);
}

TEST_F(ConfigStore, ResetDeletesTheFileAndTheNextStartRunsOnDefaults) {
  volume.set(-6.0f);
  store.save(false);
  store.save(true);
  EXPECT_FALSE(io_test::exists(config_path()));
  store.save(true);  // nothing to delete is no failure

  volume.set(0.0f);
  store.load();
  EXPECT_EQ(volume.get(), 0.0f);
}

TEST_F(ConfigStore, AFailedSaveIsTriedAgainAtTheNextSave) {
  store.save(false);
  const std::string saved = io_test::read_file(config_path());
  SetFileAttributesW(io_test::wide(config_path()).c_str(), FILE_ATTRIBUTE_READONLY);
  volume.set(-6.0f);
  store.save(false);  // refused: the file stays as it was, silently
  EXPECT_EQ(io_test::read_file(config_path()), saved);

  SetFileAttributesW(io_test::wide(config_path()).c_str(), FILE_ATTRIBUTE_NORMAL);
  store.save_now();
  volume.set(0.0f);
  store.load();
  EXPECT_EQ(volume.get(), -6.0f);
}

TEST_F(ConfigStore, AnEmptyPayloadDeletesTheFileInsteadOfWritingIt) {
  config_item* none = nullptr;
  service_single_instance<config_store> empty_store{&none};
  io_test::write_file(config_path(), "old");
  empty_store.write_file(no_abort);
  EXPECT_FALSE(io_test::exists(config_path()));
}

} // namespace
