// The input for WAV, RF64 and Wave64 files: one service that claims them and
// opens a decoder, an info reader or an info writer over a wav_parser.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/service_factory.h"
#include "foundation/byte_scan.h"
#include "foundation/crash.h"
#include "io/io_exceptions.h"
#include "io/retag_through_temp_file.h"
#include "io/file_copy.h"
#include "io/in_place_overwrite.h"
#include "io/temp_schemes.h"
#include "metadata/decoder_service.h"
#include "metadata/input_dispatch.h"
#include "metadata/tags/riff_tags.h"
#include "metadata/tags/tagging_unsupported.h"
#include "playback/inputs/input_service.h"
#include "playback/inputs/wav/wav_parser.h"

namespace {

void check_subsong(std::uint32_t subsong) {
  if (subsong != 0) vantrel_io::throw_io_data();
}

// What the three objects share: the parser and the info operations.
template <class Interface>
class wav_object : public Interface {
public:
  void open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort) {
    path_ = path;
    opened_here_ = !file;
    vantrel_io::open_or_rewind(file, path, reason, abort);
    parser_.open(file, abort);
    if (reason == open_reason::info_write && parser_.kind() != wav_container_kind::riff)
      throw exception_tagging_unsupported();
  }
  std::uint32_t get_subsong_count() override { return 1; }
  std::uint32_t get_subsong(std::uint32_t) override { return 0; }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal& abort) override {
    check_subsong(subsong);
    parser_.get_info(out, abort);
  }
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) override {
    return parser_.file()->get_stats(abort);
  }

protected:
  wav_parser parser_;
  std::string path_;
  bool opened_here_ = false;  // no caller holds the file besides this object
};

class wav_decoder : public wav_object<decoder_instance> {
public:
  void initialize(std::uint32_t subsong, std::uint32_t, const abort_signal& abort) override {
    check_subsong(subsong);
    parser_.start_decoding(abort);
  }
  bool run(audio_block& out, const abort_signal& abort) override {
    if (!parser_.has_decoder()) qiv::crash();
    return parser_.decode(out, abort);
  }
  void seek(double seconds, const abort_signal& abort) override { parser_.seek(seconds, abort); }
  // A local stream that cannot seek still plays from the start again.
  bool can_seek() override { return parser_.file()->can_seek() || !parser_.file()->is_remote(); }
  bool hint_a(std::uint32_t, std::uint32_t) override { return false; }
  bool get_dynamic_info(track_info&, double&) override { return false; }
  void on_idle(const abort_signal& abort) override { parser_.file()->check_abort(abort); }
};

class wav_info_reader : public wav_object<info_reader> {};

class wav_info_writer : public wav_object<info_writer_ext> {
public:
  void set_info(std::uint32_t subsong, const track_info& info, const abort_signal& abort) override {
    check_subsong(subsong);
    require_riff();
    // Nothing changes until both new chunks exist.
    const riff_tags::rendered_tags tags = riff_tags::render(*parser_.file(), info, abort);
    if (!tags.changes) return;
    rewrite_safely([&](vantrel_io::file_object& target, vantrel_io::file_object& original,
                       const abort_signal& edit_abort) { riff_tags::apply(target, &original, tags, edit_abort); },
                   abort);
  }
  // set_info and remove_tags write at once.
  void commit(const abort_signal&) override {}
  void remove_tags(const abort_signal& abort) override {
    require_riff();
    rewrite_safely([](vantrel_io::file_object& target, vantrel_io::file_object& original,
                      const abort_signal& edit_abort) {
      riff_tags::rewrite_chunks(target, &original, edit_abort, true, true);
    }, abort);
  }

private:
  void require_riff() {
    if (parser_.kind() != wav_container_kind::riff) throw exception_tagging_unsupported();
  }
  // The chunk edits take several writes: they go into a copy beside the file
  // that then replaces it, so that a failure or a kill halfway leaves the old
  // file whole. Where the file cannot be replaced (the caller holds it open
  // too, or no copy can be made beside it) the edit is made on a scratch
  // copy first and goes in place only as one write within one page, which a
  // killed process cannot leave half done; otherwise it is refused.
  // `edit(target, original, abort)` changes `target`, a copy of `original`,
  // which it only reads.
  template <class Edit>
  void rewrite_safely(Edit edit, const abort_signal& abort) {
    retag_through_temp_file temp(path_.c_str());
    vantrel_io::file_ptr copy;
    if (!opened_here_ || !temp.open_temp(copy, abort)) {
      edit_in_place_as_one_write(edit, abort);
      return;
    }
    vantrel_io::copy_whole_file(*parser_.file(), *copy, abort);
    edit(*copy, *parser_.file(), abort);
    copy.reset();
    vantrel_io::file_ptr file = parser_.take_file();
    try {
      temp.commit(file, abort);
    } catch (...) {
      // The failed replacement hands the old file back, as it was; its
      // failure is the one reported.
      try {
        if (file) parser_.open(file, never_raised_abort_signal());
      } catch (const std::exception&) {
      }
      throw;
    }
    parser_.open(file, abort);
  }

  template <class Edit>
  void edit_in_place_as_one_write(Edit edit, const abort_signal& abort) {
    vantrel_io::file_object& file = *parser_.file();
    const std::uint64_t size = file.get_size(abort);
    if (size == vantrel_io::filesize_unknown) vantrel_io::throw_exception_io_no_length();
    vantrel_io::file_ptr scratch;
    if (size > memory_scratch_limit) vantrel_io::open_temp_file(scratch, abort);
    else vantrel_io::open_temp_memory(scratch, abort);
    file.seek(0, abort);
    vantrel_io::copy_whole_file(file, *scratch, abort);
    edit(*scratch, file, abort);
    if (scratch->get_size(abort) != size) throw exception_no_safe_rewrite();
    // The span from the first to the last byte that differs.
    std::uint64_t first = size, end = 0;
    std::vector<std::uint8_t> old_block(compare_block), new_block(compare_block);
    for (std::uint64_t at = 0; at < size; at += compare_block) {
      const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(compare_block, size - at));
      file.seek(at, abort);
      file.read_exact(old_block.data(), length, abort);
      scratch->seek(at, abort);
      scratch->read_exact(new_block.data(), length, abort);
      const std::size_t differs = qiv::first_difference(old_block.data(), new_block.data(), length);
      if (differs == length) continue;
      if (first == size) first = at + differs;
      end = at + qiv::last_difference_end(old_block.data(), new_block.data(), length);
    }
    if (first == size) return;
    if (!vantrel_io::lies_within_one_page(first, end - first)) throw exception_no_safe_rewrite();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(end - first));
    scratch->seek(first, abort);
    scratch->read_exact(bytes.data(), static_cast<std::uint32_t>(bytes.size()), abort);
    vantrel_io::overwrite_changed_bytes(file, first, bytes.data(), bytes.size(), abort);
  }

  // Files above this are copied to a scratch file on disk instead of memory.
  static constexpr std::uint64_t memory_scratch_limit = 16 * 1024 * 1024;
  static constexpr std::uint32_t compare_block = 64 * 1024;
};

constexpr const char* wav_extensions[] = {"WAV", "WAVE", "W64", "RF64", "BWF"};
constexpr const char* wav_mime_types[] = {"audio/vnd.wave", "audio/wav", "audio/wave", "audio/x-wav", "audio/x-wave"};

class wav_input : public input_service<wav_decoder, wav_info_reader, wav_info_writer> {
public:
  wav_input() : input_service(wav_extensions, wav_mime_types) {}
};

service_factory_single_t<wav_input> wav_input_registration;

}  // namespace
