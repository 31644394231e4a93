// The single road from a path to an input's decoder, info reader or info
// writer: collect the services that claim the file (by the open file's MIME
// type first, else by path and extension) and try them in turn. Holds no
// state and no lock; callable on any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "foundation/array.h"
#include "foundation/string_object.h"
#include "io/file_object.h"
#include "metadata/decoder_service.h"

// The services collected for one request, in registry order. The first four
// live inside the list itself, so a usual request allocates nothing.
class claimant_list {
public:
  static constexpr std::uint32_t inline_capacity = 4;

  void add(decoder_service* service);
  std::uint32_t get_count() const noexcept { return inline_count_ + overflow_.get_count(); }
  decoder_service* operator[](std::uint32_t index) const noexcept;
  void clear() noexcept;

private:
  decoder_service_ptr inline_[inline_capacity];
  std::uint32_t inline_count_ = 0;
  qiv::array<decoder_service_ptr> overflow_;
};

namespace input_dispatch {

// Extensions this long or longer are not extensions.
inline constexpr std::size_t max_extension_length = 32;

// The text after the last '.' of the path's file name (after the last '\',
// '/', '|' or ':'), ending before a '?' ("x.ogg?id=3" gives "ogg"); empty
// without a dot or when 32 bytes or longer.
void get_extension(const char* path, qiv::string_object& out);

// Whether any service claims a path, asked of many paths in a row (the files
// of a folder's listing): the services are gathered once, and each path is
// put to them as collect_by_path puts it.
class path_claim_test {
public:
  explicit path_claim_test(bool skip_flagged = false);
  bool is_claimed(const char* path) const;

private:
  std::vector<decoder_service_ptr> services_;
};

// Each answers whether any service was kept; with skip_flagged a service
// flagged decoder_service::flag_skippable is never kept.
bool collect_by_content_type(claimant_list& out, const char* mime_type, bool skip_flagged);
bool collect_by_path(claimant_list& out, const char* path, bool skip_flagged);

// No claimant: vantrel_io::exception_io_unsupported_format. One claimant's
// failure reaches the caller unchanged; among several, data errors pass to
// the next claimant and any other failure ends the attempt.
void open_for_decoding(decoder_instance_ptr& out, const vantrel_io::file_ptr& file, const char* path,
                       const abort_signal& abort, bool skip_flagged = false);
void open_info_reader(info_reader_ptr& out, const vantrel_io::file_ptr& file, const char* path,
                      const abort_signal& abort, bool skip_flagged = false);
void open_info_writer(info_writer_ptr& out, const vantrel_io::file_ptr& file, const char* path,
                      const abort_signal& abort, bool skip_flagged = false);

// The same, releasing the given file reference when done.
void open_for_decoding_by_value(decoder_instance_ptr& out, vantrel_io::file_ptr file, const char* path,
                                const abort_signal& abort, bool skip_flagged = false);
void open_info_reader_by_value(info_reader_ptr& out, vantrel_io::file_ptr file, const char* path,
                               const abort_signal& abort, bool skip_flagged = false);
void open_info_writer_by_value(info_writer_ptr& out, vantrel_io::file_ptr file, const char* path,
                               const abort_signal& abort, bool skip_flagged = false);

// As open_info_writer, but while another program holds the file (a sharing
// violation) it waits 0.01 s and tries again until `timeout_seconds` have
// passed; an abort ends the wait at once.
void open_info_writer_with_retry(info_writer_ptr& out, const vantrel_io::file_ptr& file, const char* path,
                                 const abort_signal& abort, double timeout_seconds, bool skip_flagged = false);

}  // namespace input_dispatch

namespace vantrel_io {
// For inputs: a given file is rewound and kept; otherwise the path is opened
// for reading (info_read, decode) or as an existing file for writing
// (info_write).
void open_or_rewind(file_ptr& file, const char* path, open_reason reason, const abort_signal& abort);
}  // namespace vantrel_io
