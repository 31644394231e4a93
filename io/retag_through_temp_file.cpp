#include "io/retag_through_temp_file.h"

#include <windows.h>

#include "foundation/string_buffer.h"
#include "foundation/text_or_resource_id.h"
#include "io/after_tags_switch.h"
#include "io/delete_pending_file.h"
#include "io/disk_wait.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "io/native_file.h"
#include "io/path_schemes.h"
#include "io/retag_leftover_listing.h"
#include "io/retag_temp_path.h"
#include "io/retry_step.h"
#include "io/test_write_faults.h"
#include "io/test_write_pause.h"

namespace {

constexpr double replace_timeout_seconds = 120;
// For schemes whose files cannot be replaced by a native move.
constexpr double remove_timeout_seconds = 10;

void set_basic_info(HANDLE file, FILE_BASIC_INFO& info) {
  if (!SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof info)) vantrel_io::throw_last_io_error();
}

// The attributes a file can be given; the others belong to how the file
// system stores the target.
constexpr DWORD settable_attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;

// Like SetFileAttributesW, whose failure a replacement has always let pass.
void copy_attributes(HANDLE file, DWORD attributes) noexcept {
  FILE_BASIC_INFO info = {};
  info.FileAttributes = (attributes & settable_attributes) ? (attributes & settable_attributes) : FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof info);
}

// One attempt: the temporary file takes the target's creation time and
// attributes, then replaces it. Both are read by name, without opening the
// target: an open costs a tag update of many files dearly under Wine.
void replace_native_once(const wchar_t* target, vantrel_io::delete_pending_file& temp) {
  WIN32_FILE_ATTRIBUTE_DATA old = {};
  if (!GetFileAttributesExW(target, GetFileExInfoStandard, &old)) vantrel_io::throw_last_io_error();
  FILE_BASIC_INFO times = {};
  times.CreationTime.LowPart = old.ftCreationTime.dwLowDateTime;
  times.CreationTime.HighPart = static_cast<LONG>(old.ftCreationTime.dwHighDateTime);
  set_basic_info(temp.handle(), times);
  const DWORD attributes = old.dwFileAttributes;
  // Read-only only once in place: a temporary file left by a kill in
  // between must stay removable.
  copy_attributes(temp.handle(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) {
    temp.move_over(target);
    return;
  }
  // Windows refuses to replace a read-only file.
  if (!SetFileAttributesW(target, attributes & ~FILE_ATTRIBUTE_READONLY)) vantrel_io::throw_last_io_error();
  try {
    temp.move_over(target);
  } catch (...) {
    SetFileAttributesW(target, attributes);
    throw;
  }
  copy_attributes(temp.handle(), attributes);
}

// A virus scanner or indexer holding the target for a moment shows up as a
// sharing violation or as access denied. The new file must be on disk
// before it replaces the old one: after a power loss the file system may
// keep the move but not the data behind it. (The flush lies within the
// copy's own wait for the disk, retag_through_temp_file::copying_.)
void replace_native(const wchar_t* target, vantrel_io::delete_pending_file& temp, const abort_signal& abort) {
  vantrel_io::fail_if_test_write_fault();
  if (!FlushFileBuffers(temp.handle())) vantrel_io::throw_last_io_error();
  vantrel_io::pause_before_file_change();
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    try {
      replace_native_once(target, temp);
      return;
    } catch (const vantrel_io::exception_io_sharing_violation&) {
      if (static_cast<double>(GetTickCount64() - start) / 1000.0 > replace_timeout_seconds) throw;
    } catch (const vantrel_io::exception_io_denied&) {
      if (static_cast<double>(GetTickCount64() - start) / 1000.0 > replace_timeout_seconds) throw;
    }
    abort.sleep(vantrel_io::retry_step_seconds);
  }
}

// The native path of the target's temporary file, or false when it has
// none (another scheme, or a path that names no native file).
bool native_temp_path(const char* target, qiv::string_buffer& native) noexcept {
  try {
    if (!vantrel_io::file_scheme_handler().claims_path(target)) return false;
    qiv::string_buffer temp_path;
    vantrel_io::make_retag_temp_path(target, temp_path);
    vantrel_io::win32_path(temp_path.get_ptr(), native);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

retag_through_temp_file::retag_through_temp_file(const char* target) : target_(target) {
  qiv::string_buffer native;
  if (!native_temp_path(target, native)) return;
  try {
    const text_or_resource_id wide(native.get_ptr());
    switch (vantrel_io::look_for_leftover(wide.get())) {
      case vantrel_io::leftover_presence::absent:
        break;
      case vantrel_io::leftover_presence::present:
        vantrel_io::delete_if_unused(wide.get());
        break;
      case vantrel_io::leftover_presence::unknown:
        leftover_unknown_ = true;
        break;
    }
  } catch (const std::exception&) {
    // Nothing to look for without the name.
  }
}

retag_through_temp_file::~retag_through_temp_file() {
  discard_temp();
  if (leftover_unknown_) remove_leftover();
}

// What a killed rewrite of the target left beside it, unless another
// rewrite is still writing it.
void retag_through_temp_file::remove_leftover() noexcept {
  leftover_unknown_ = false;
  qiv::string_buffer native;
  if (!native_temp_path(target_.get_ptr(), native)) return;
  try {
    const text_or_resource_id wide(native.get_ptr());
    vantrel_io::delete_if_unused(wide.get());
  } catch (const std::exception&) {
  }
}

bool retag_through_temp_file::open_temp(vantrel_io::file_ptr& out, const abort_signal& abort) {
  qiv::dynamic_assert(!temp_file_ && temp_path_.is_empty());
  copying_ = std::make_unique<vantrel_io::disk_wait_scope>();
  try {
    vantrel_io::make_retag_temp_path(target_.get_ptr(), temp_path_);
    if (vantrel_io::file_scheme_handler().claims_path(temp_path_.get_ptr())) {
      abort.check_and_throw();
      qiv::string_buffer native;
      vantrel_io::win32_path(temp_path_.get_ptr(), native);
      const text_or_resource_id wide(native.get_ptr());
      const bool local = vantrel_io::is_on_local_fixed_drive(native.get_ptr());
      try {
        native_temp_ = std::make_unique<vantrel_io::delete_pending_file>(wide.get(), local);
      } catch (const vantrel_io::exception_io_already_exists&) {
        // A leftover of a killed rewrite goes; another rewrite's live
        // temporary file stays, and this rewrite has none.
        if (!leftover_unknown_) throw;
        vantrel_io::delete_if_unused(wide.get());
        native_temp_ = std::make_unique<vantrel_io::delete_pending_file>(wide.get(), local);
      }
      leftover_unknown_ = false;
      temp_file_ = native_temp_->open_for_writing(abort);
    } else {
      vantrel_io::open(temp_file_, temp_path_.get_ptr(), vantrel_io::open_mode::write_new, abort);
    }
  } catch (const vantrel_io::exception_aborted&) {
    // The open may have created the file before it noticed the abort.
    discard_temp();
    throw;
  } catch (const std::exception&) {
    discard_temp();
    return false;
  }
  out = temp_file_;
  return true;
}

void retag_through_temp_file::commit(vantrel_io::file_ptr& file, const abort_signal& abort) {
  if (!temp_file_) return;
  // Every handle of the writer must be closed before the move: the
  // target's, which the writer holds without sharing, and the temporary
  // file's.
  temp_file_.reset();
  file.reset();
  bool target_removed = false;
  try {
    if (native_temp_) {
      qiv::string_buffer native_target;
      vantrel_io::win32_path(target_.get_ptr(), native_target);
      const text_or_resource_id wide_target(native_target.get_ptr());
      replace_native(wide_target.get(), *native_temp_, abort);
    } else {
      vantrel_io::remove_retrying(target_.get_ptr(), abort, remove_timeout_seconds);
      target_removed = true;
      vantrel_io::move_retrying(temp_path_.get_ptr(), target_.get_ptr(), abort);
    }
  } catch (...) {
    // Once the target is gone the temporary file is the only copy of the
    // user's file: it stays beside the target's name.
    if (target_removed) {
      temp_path_.set_string("");
    } else {
      discard_temp();
      reopen_target(file);
    }
    throw;
  }
  temp_path_.set_string("");
  copying_.reset();
  // The new file is in place: a cancellation now would report as undone a
  // rewrite that is done, so neither way of opening it stops for it, and a
  // failure to open it says that the new tags were written.
  vantrel_io::after_tags_switch([&] {
    if (native_temp_) {
      // Its handle is now the target's, opened as the writer opens a target.
      file = native_temp_->take_as_target(never_raised_abort_signal());
      native_temp_.reset();
      return;
    }
    open_for_brief_access(file, target_.get_ptr(), vantrel_io::open_mode::write_existing, never_raised_abort_signal());
  });
}

// The writer goes on with the old file, which a failed replacement left
// whole; when even opening it fails, the writer holds no file, and the
// replacement's failure is the one reported.
void retag_through_temp_file::reopen_target(vantrel_io::file_ptr& file) noexcept {
  try {
    open_for_brief_access(file, target_.get_ptr(), vantrel_io::open_mode::write_existing, never_raised_abort_signal());
  } catch (const std::exception&) {
    file.reset();
  }
}

void retag_through_temp_file::discard_temp() noexcept {
  copying_.reset();
  temp_file_.reset();
  if (temp_path_.is_empty()) return;
  if (vantrel_io::file_scheme_handler().claims_path(temp_path_.get_ptr())) {
    // The system deletes the file once the writer's handle closes too; a
    // file of this name that was not made here (another rewrite's, still
    // being written) is not touched.
    native_temp_.reset();
  } else {
    try {
      vantrel_io::remove(temp_path_.get_ptr(), never_raised_abort_signal());
    } catch (const std::exception&) {
      // Nothing more can be done for a leftover.
    }
  }
  temp_path_.set_string("");
}
