// Collects the files of a folder listing, and of its subfolders when asked.
#pragma once

#include "core/abort_signal.h"
#include "foundation/array.h"
#include "foundation/refcounted.h"
#include "foundation/string_buffer.h"
#include "io/file_object.h"
#include "io/scheme_handler.h"

namespace vantrel_io {

// One listed file.
class directory_entry final : public qiv::refcounted_object {
public:
  directory_entry(const char* path, const file_stats& stats) : path_(path), stats_(stats) {}
  const char* get_path() const { return path_.get_ptr(); }
  const file_stats& get_stats() const { return stats_; }

private:
  ~directory_entry() override = default;
  const qiv::string_buffer path_;
  const file_stats stats_;
};

using directory_entry_ref = qiv::ref_ptr<directory_entry>;

// Give it to list_directory (io/path_schemes.h); files are appended in the
// order they are reported, folders are entered when `recursive`.
class directory_collector final : public directory_callback {
public:
  explicit directory_collector(bool recursive) : recursive_(recursive) {}

  bool on_entry(const char* path, bool is_directory, const file_stats& stats, const abort_signal& abort) override;

  const qiv::array<directory_entry_ref>& get_entries() const { return entries_; }

private:
  qiv::array<directory_entry_ref> entries_;
  const bool recursive_;
};

}  // namespace vantrel_io
