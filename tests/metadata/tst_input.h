// A test-only input for ".tst" files: the first line is "TST", each further
// line is one subsong whose text is its title (an empty line: no tags).
// Anything else is a damaged file. With it, files on disk go through the
// real dispatch, walk and operations; below it, what those tests share.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/service_factory.h"
#include "core/service_registry.h"
#include "core/tag_service.h"
#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"
#include "io/file_scheme.h"
#include "io/io_exceptions.h"
#include "metadata/decoder_service.h"
#include "metadata/field_name_set.h"
#include "metadata/input_dispatch.h"
#include "metadata/metadata_io.h"
#include "metadata/track_handle_registry.h"
#include "metadata/track_info.h"
#include "metadata/track_info_listener.h"
#include "tests/io/io_test_support.h"
#include "tests/support/single_factory.h"

namespace metadata_test {

// Reads and, on commit, rewrites the whole file.
class tst_writer : public info_writer {
public:
  std::vector<std::string> titles;
  vantrel_io::file_stats stats;
  vantrel_io::file_ptr file;  // null when opened for reading
  // Commits made by every writer, so tests can see that a file is written once.
  static inline std::atomic<int> commit_count{0};
  // Every commit fails after its write, as one whose tidying fails.
  static inline std::atomic<bool> fails_after_write{false};
  // Every file holds what a write stopped after its switch left.
  static inline std::atomic<bool> unfinished{false};

  std::uint32_t get_subsong_count() override { return static_cast<std::uint32_t>(titles.size()); }
  std::uint32_t get_subsong(std::uint32_t index) override { return index; }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal&) override {
    const std::string& title = titles.at(subsong);
    if (!title.empty()) out.set_field("title", 5, title.data(), title.size());
  }
  // A writer answers the file as it is now: a commit changes its timestamp.
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) override {
    return file ? file->get_stats(abort) : stats;
  }
  void set_info(std::uint32_t subsong, const track_info& info, const abort_signal&) override {
    qiv::string_buffer title;
    info.get_field_text("title", title);
    titles.at(subsong) = title.get_ptr();
  }
  bool has_unfinished_write() override { return unfinished; }
  void commit(const abort_signal& abort) override {
    ++commit_count;
    std::string text = "TST";
    for (const auto& title : titles) text += "\n" + title;
    file->seek(0, abort);
    file->write(text.data(), static_cast<std::uint32_t>(text.size()), abort);
    file->resize(text.size(), abort);
    if (fails_after_write) throw vantrel_io::exception_io_after_tags_written("Disk gone");
  }
};

class tst_input : public decoder_service {
public:
  bool is_our_content_type(const char*) override { return false; }
  bool is_our_path(const char*, const char* extension) override { return qiv::compare_nocase(extension, "tst") == 0; }
  void open_for_decoding(decoder_instance_ptr&, vantrel_io::file_ptr, const char*, const abort_signal&) override {
    throw vantrel_io::exception_io_unsupported_format();
  }
  void open_for_info_read(info_reader_ptr& out, vantrel_io::file_ptr file, const char* path,
                          const abort_signal& abort) override {
    out = open(file, path, open_reason::info_read, abort).get();
  }
  void open_for_info_write(info_writer_ptr& out, vantrel_io::file_ptr file, const char* path,
                           const abort_signal& abort) override {
    service_ptr<tst_writer> writer = open(file, path, open_reason::info_write, abort);
    writer->file = file;
    out = writer.get();
  }
  void get_aux_text(vantrel_io::file_ptr, std::uint32_t, std::uint32_t, qiv::string_object&,
                    const abort_signal&) override {}
  std::uint32_t get_flags() override { return 0; }

private:
  static service_ptr<tst_writer> open(vantrel_io::file_ptr& file, const char* path, open_reason reason,
                                      const abort_signal& abort) {
    vantrel_io::open_or_rewind(file, path, reason, abort);
    std::string text;
    char buffer[4096];
    while (const std::uint32_t got = file->read(buffer, sizeof buffer, abort)) text.append(buffer, got);
    if (text.rfind("TST\n", 0) != 0) throw vantrel_io::exception_io_data();
    service_ptr<tst_writer> parsed(new service_counted<tst_writer>());
    parsed->stats = file->get_stats(abort);
    for (std::size_t start = 4; start < text.size();) {
      const std::size_t end = std::min(text.find('\n', start), text.size());
      parsed->titles.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return parsed;
  }
};

// Trailing tags for the tests: a file may end in "#TAIL", which this cuts off.
class tail_cutting_tag_service : public tag_service {
public:
  void read(vantrel_io::file_object&, track_info&, const abort_signal&) override {}
  void write(vantrel_io::file_object&, const track_info&, unsigned, const abort_signal&) override {}
  bool can_hold_info(const track_info&) override { return false; }
  void reduce_to_id3v1(track_info&) override {}
  void read_ex(vantrel_io::file_object&, track_info&, std::uint64_t&, const abort_signal&) override {}
  void remove(vantrel_io::file_object& file, const abort_signal& abort) override {
    const std::uint64_t size = file.get_size(abort);
    char tail[5];
    if (size < 5) return;
    file.seek(size - 5, abort);
    file.read_exact(tail, 5, abort);
    if (std::string(tail, 5) == "#TAIL") file.resize(size - 5, abort);
  }
};

// Files in a scratch folder, and a service table of the process's own
// services with the ".tst" input and the tag service above. A fixture may
// link more factories into `list` before it calls use_services().
class tst_files {
public:
  ~tst_files() { service_registry::table().build(service_factory::global_list_head); }
  void use_services() {
    vantrel_io::file_scheme_handler();  // keeps the "file://" handler linked
    service_registry::table().build(list);
  }

  // Writes the file and answers its "file://" path.
  std::string write(const std::string& name, const std::string& content) {
    io_test::write_file(folder.path(name), content);
    return folder.file_url(name);
  }
  std::string read(const std::string& name) const { return io_test::read_file(folder.path(name)); }

  io_test::scratch_folder folder;
  service_factory* list = service_factory::global_list_head;

private:
  single_factory<tst_input> input_{&list};
  single_factory<tail_cutting_tag_service> tags_{&list};
};

// A counted service object, as the operations take them.
template <class T, class... Args>
service_ptr<T> counted(Args&&... args) {
  return service_ptr<T>(new service_counted<T>(std::forward<Args>(args)...));
}

inline track_handle_ptr handle(const std::string& path, std::uint32_t subsong) {
  return track_handle_registry::get_handle(track_location(path.c_str(), subsong));
}

// The cached title, or "<none>" when the handle has no info.
inline std::string cached_title(const track_handle_ptr& h) {
  track_display_info record;
  if (!h->get_info(record)) return "<none>";
  return record.get(field_name_set::title);
}

class recording_completion : public metadata_completion {
public:
  std::vector<std::uint32_t> codes;
  void on_completion(std::uint32_t code) override { codes.push_back(code); }
};

// Runs `step` for every track, then sets its title to `title`; writes
// nothing while `title` is empty.
class title_filter : public info_update_filter {
public:
  std::string title;
  std::function<void()> step;
  bool update(const track_handle_ptr&, const vantrel_io::file_stats&, track_info& info) override {
    if (step) step();
    if (title.empty()) return false;
    info.set_field("title", 5, title.data(), title.size());
    return true;
  }
};

// The handle count of each announcement.
class change_counter : public track_info_change_callback {
public:
  std::vector<std::size_t> announcements;
  void on_info_changed(const track_handle_list& handles, std::uint8_t) override {
    announcements.push_back(handles.size());
  }
};

}  // namespace metadata_test
