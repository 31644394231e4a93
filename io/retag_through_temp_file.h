// Rewriting a file through a temporary copy. A tag writer that must change
// the size of data at the start of a file (Ogg comment headers, FLAC
// metadata, a leading ID3v2 tag) writes the whole new file into a temporary
// file beside the target, then replaces the target with it by a move,
// keeping the target's creation time and attributes. Until that move the
// target is untouched, so a failure or a cancellation at any moment leaves
// the old file whole.
#pragma once

#include <memory>

#include "core/abort_signal.h"
#include "foundation/string_small.h"
#include "io/delete_pending_file.h"
#include "io/disk_wait.h"
#include "io/file_object.h"
#include "io/io_exceptions.h"

// Where a writer gets a fresh output file for the whole new file.
class retag_temp_source {
public:
  // False when there is no temporary file to be had: the writer then makes
  // the change in place only where that is one write a killed process
  // cannot leave half done, and otherwise refuses it
  // (exception_no_safe_rewrite) with the file unchanged.
  virtual bool open_temp(vantrel_io::file_ptr& out, const abort_signal& abort) = 0;

protected:
  ~retag_temp_source() = default;
};

// A change that only a temporary copy could make safely, asked for where
// none can be had (the folder refuses new files, or the caller handed a file
// object without a path). Thrown before anything is written.
class exception_no_safe_rewrite : public vantrel_io::exception_io_with_text {
public:
  exception_no_safe_rewrite()
      : exception_io_with_text(vantrel_io::io_message(
            "exception_no_safe_rewrite",
            "The tags cannot be written safely without a temporary copy beside the file; the file is left unchanged")) {}
};

// For callers that hold no path: only what is safe in place is done.
class retag_in_place final : public retag_temp_source {
public:
  bool open_temp(vantrel_io::file_ptr&, const abort_signal&) override { return false; }
};

class retag_through_temp_file final : public retag_temp_source {
public:
  // `target` is the path (with its scheme) of the file to be replaced, which
  // the writer holds open. A temporary file of the target's that a killed
  // rewrite left beside it is removed (by the time this object ends, or
  // before its own temporary file is made); one that another rewrite is
  // still writing is not.
  explicit retag_through_temp_file(const char* target);
  // An uncommitted temporary file is deleted: nothing is left beside the
  // target after a failed or cancelled rewrite, once the writer has dropped
  // its own references to it. A native temporary file is deleted by the
  // system when its last handle closes, so a killed process leaves nothing
  // either.
  ~retag_through_temp_file();
  retag_through_temp_file(const retag_through_temp_file&) = delete;
  retag_through_temp_file& operator=(const retag_through_temp_file&) = delete;

  // Creates the temporary file ("temp-<digest>.tmp" beside the target) for
  // writing and hands it out; at most once per object. Failing to make it
  // (also while another rewrite of the target writes its own) is an answer
  // (false, and the writer works in place), except a cancellation, which
  // passes as exception_aborted.
  bool open_temp(vantrel_io::file_ptr& out, const abort_signal& abort) override;

  // When a temporary file was opened: drops the writer's reference `file`
  // (the target it had open, or the temporary file), replaces the target
  // with the temporary file and hands the target back in `file` for
  // modifying. While another program holds the target, the replacement is
  // retried for up to 120 s. On failure the target keeps its old content,
  // the temporary file is deleted and `file` is the target open again as
  // before (or empty when it cannot be opened); on a scheme that can only
  // remove and move, a failure after the target was removed keeps the
  // temporary file, the only copy left. Once the new file is in place, a
  // failure to open it is exception_io_after_tags_written, with `file`
  // empty. Without a temporary file nothing happens.
  void commit(vantrel_io::file_ptr& file, const abort_signal& abort);

private:
  void discard_temp() noexcept;
  void reopen_target(vantrel_io::file_ptr& file) noexcept;
  void remove_leftover() noexcept;

  qiv::string_small target_;
  // Whether a leftover beside the target may still be there: only looking
  // its name up would tell, which under Wine reads the whole folder, as
  // making the temporary file under that name does anyway.
  bool leftover_unknown_ = false;
  qiv::string_small temp_path_;
  // On the native file system; otherwise the scheme's file under temp_path_.
  std::unique_ptr<vantrel_io::delete_pending_file> native_temp_;
  vantrel_io::file_ptr temp_file_;
  // From the temporary file's making to its move into place: the copying
  // is mostly the system's work, and a batch may write another file
  // meanwhile.
  std::unique_ptr<vantrel_io::disk_wait_scope> copying_;
};
