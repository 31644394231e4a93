#include "library/library_database.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "core/app_state.h"
#include "core/persistent_store.h"
#include "core/service_factory.h"
#include "foundation/exceptions.h"
#include "foundation/guid_equal.h"
#include "foundation/string_buffer.h"
#include "foundation/thread.h"
#include "foundation/win32_handles.h"
#include "foundation/win32_text.h"
#include "io/file_window.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "io/safe_save.h"
#include "io/stream_fields.h"
#include "io/stream_strings.h"

namespace {

constexpr GUID header_guid = {0x9F65C755, 0x13F6, 0x4814, {0xA9, 0xB1, 0xF1, 0xB6, 0xF7, 0xAD, 0x7F, 0xFC}};
constexpr double file_timeout_seconds = 0.5;

class library_store : public persistent_store {
public:
  void load() override {}  // the library loads on first use
  void save(bool reset) override { library_database_save(reset); }
};
service_factory_single_t<library_store> store_registration;

// What the library file gave: the blobs, the folders already restored from
// them, and whether the file must be written again.
struct stored_library {
  stored_blob_map blobs;
  restored_folder_map restored;
  bool unsaved = false;
};

// Damage costs only the records after it; the next save mends the file.
stored_library read_stored_library() {
  stored_library stored;
  const std::string path = library_database_path();
  vantrel_io::file_ptr file;
  try {
    if (vantrel_io::exists(path.c_str(), never_raised_abort_signal())) {
      vantrel_io::open_retrying(file, path.c_str(), vantrel_io::open_mode::read, never_raised_abort_signal(),
                                file_timeout_seconds);
      library_database_read(stored.blobs, file, never_raised_abort_signal());
    } else {
      stored.unsaved = true;  // a library that was used has its file, empty or not
    }
  } catch (const std::exception&) {
    stored.unsaved = true;
  }
  return stored;
}

class library_preload final : public qiv::thread {
public:
  library_preload(std::vector<std::string> listed, std::unique_ptr<library_read_ahead_use> then)
      : listed_(std::move(listed)), then_(std::move(then)) {
    restored_.create();
  }
  ~library_preload() override { wait_till_done(); }

  // Waits for the restore, not for what the tracks are handed to. A failure
  // of the worker reaches the caller as the same failure of reading on the
  // caller's thread would.
  stored_library take() {
    taken_ = true;
    WaitForSingleObject(restored_.get(), INFINITE);
    if (failure_) std::rethrow_exception(failure_);
    return std::move(stored_);
  }
  bool taken() const noexcept { return taken_; }

private:
  void run() override {
    track_handle_list listing;
    try {
      stored_ = read_stored_library();
      for (const std::string& text : listed_) {
        auto blob = stored_.blobs.find(text);
        if (blob != stored_.blobs.end() && stored_.restored.count(text) == 0)
          stored_.restored.emplace(text, media_library::restore_folder(text, *blob->second));
      }
      if (then_) media_library::listing_after_restore(stored_.restored, listed_, listing);
    } catch (...) {
      failure_ = std::current_exception();
    }
    const bool restored = !failure_;
    // From here on the stored library belongs to the taker.
    SetEvent(restored_.get());
    // What the tracks were handed to keeps what it made until the preload
    // is dropped.
    if (!then_) return;
    if (restored) then_->use(std::move(listing));
    else then_.reset();
  }

  const std::vector<std::string> listed_;
  std::unique_ptr<library_read_ahead_use> then_;
  stored_library stored_;
  std::exception_ptr failure_;
  win32_event restored_;
  bool taken_ = false;
};

std::unique_ptr<library_preload>& running_preload() {
  static std::unique_ptr<library_preload> preload;
  return preload;
}

}  // namespace

void library_database_read(stored_blob_map& blobs, const vantrel_io::file_ptr& file, const abort_signal& abort) {
  vantrel_io::stream_reader fields(*file, abort);
  GUID header;
  fields.read_guid(header);
  if (!qiv::guid_equal(header, header_guid)) throw vantrel_io::exception_io_data();
  std::uint32_t count = 0;
  fields.read_u32(count);
  const std::uint64_t file_size = file->get_size(abort);
  qiv::string_buffer text;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t length = 0;
    fields.read_u32(length);
    vantrel_io::stream::read_string(*file, length, abort, text);
    std::uint32_t size = 0;
    fields.read_u32(size);
    const std::uint64_t position = file->get_position(abort);
    if (file_size != vantrel_io::filesize_unknown && position + size > file_size) throw vantrel_io::exception_io_data();
    vantrel_io::file_ptr window;
    vantrel_io::open_file_window(window, file, position, size, abort);
    file->seek(position + size, abort);
    blobs[std::string(text.get_ptr(), text.get_length())] = window;  // a later record of one text wins
  }
}

void library_database_write(vantrel_io::file_object& file, const abort_signal& abort) {
  vantrel_io::stream_writer fields(file, abort);
  fields.write_guid(header_guid).write_u32(media_library::folder_count());
  media_library::for_each_folder([&](const std::string& text, library_folder& folder) {
    fields.write_u32(static_cast<std::uint32_t>(text.size()));
    file.write(text.data(), static_cast<std::uint32_t>(text.size()), abort);
    fields.write_u32(0);  // the size, patched once the blob is written
    const std::uint64_t start = file.get_position(abort);
    folder.save(file, abort);
    const std::uint64_t end = file.get_position(abort);
    if (end - start > 0xFFFFFFFFu) qiv::throw_overflow();
    file.seek(start - 4, abort);
    fields.write_u32(static_cast<std::uint32_t>(end - start));
    file.seek(end, abort);
  });
}

std::string library_database_path() { return std::string(profile::get_path()) + "\\database.dat"; }

void library_database_load() {
  // A preload taken goes on handing its tracks over; it is dropped with the
  // library or by the next preload.
  const std::unique_ptr<library_preload>& preload = running_preload();
  stored_library stored = preload && !preload->taken() ? preload->take() : read_stored_library();
  if (stored.unsaved) media_library::mark_unsaved();
  media_library::apply_folders(stored.blobs, std::move(stored.restored));
}

void library_database_preload(std::unique_ptr<library_read_ahead_use> then) {
  library_database_drop_preload();
  auto preload = std::make_unique<library_preload>(media_library::folder_list(), std::move(then));
  try {
    preload->start();
  } catch (const qiv::thread::exception_creation&) {
    return;  // the first use reads the file itself
  }
  running_preload() = std::move(preload);
}

void library_database_drop_preload() noexcept { running_preload().reset(); }

void library_database_save(bool reset) {
  if (!media_library::is_loaded() && !reset) return;  // never overwrite a library with an empty one
  const std::string path = library_database_path();
  if (reset) {
    try {
      vantrel_io::remove_retrying(path.c_str(), never_raised_abort_signal(), file_timeout_seconds);
    } catch (const vantrel_io::exception_io&) {
    }
    return;
  }
  // An unchanged library would be written byte for byte as it stands.
  if (!media_library::take_unsaved_changes()) return;
  for (;;) {
    try {
      vantrel_io::write_file_via_temp(path.c_str(), library_database_write, never_raised_abort_signal());
      return;
    } catch (const std::exception& error) {
      media_library::mark_unsaved();
      if (app::state().quiet) return;  // no one to ask; the old file stays
      const std::string text = std::string("Library file could not be written (") + error.what() +
                               ").\nIf you choose 'cancel', your recent library changes will be lost.";
      const int answer = message_box_utf8(app::state().ui_main_window, text.c_str(), "Error writing library file",
                                          MB_RETRYCANCEL | MB_ICONEXCLAMATION);
      if (answer != IDRETRY) return;
    }
  }
}
