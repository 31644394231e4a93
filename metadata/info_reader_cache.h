// Keeps one file open for info reading, under its shared named lock, for as
// long as consecutive tracks come from that file, so that loading the
// subsongs of one file opens and locks it once. One worker thread at a time.
#pragma once

#include <string>

#include "core/abort_signal.h"
#include "io/named_lock.h"
#include "metadata/decoder_service.h"
#include "metadata/track_info.h"
#include "metadata/track_location.h"

class info_reader_cache {
public:
  info_reader_cache() = default;
  info_reader_cache(const info_reader_cache&) = delete;
  info_reader_cache& operator=(const info_reader_cache&) = delete;
  ~info_reader_cache() { close(); }

  // Reads the file's stats, then the info of the location's subsong.
  void read_info(const track_location& location, track_info& out, vantrel_io::file_stats& stats,
                 const abort_signal& abort);
  // Reads nothing, and answers false, when the file reports the same non-zero
  // timestamp as `stats`; else replaces `stats`, reads the info, answers true.
  bool read_info_if_changed(const track_location& location, track_info& out, vantrel_io::file_stats& stats,
                            const abort_signal& abort);
  void close() noexcept;

private:
  void ensure_open(const char* path, const abort_signal& abort);

  std::string path_;
  service_ptr<named_lock> lock_;
  info_reader_ptr reader_;
};
