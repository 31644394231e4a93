// A test-only input for ".tst" files: the first line is "TST", each further
// line is one subsong whose text is its title. Anything else is a damaged
// file. Real inputs arrive later; this one lets the dispatch and the walk be
// tested against files on disk.
#pragma once

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/case_folding.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "metadata/decoder_service.h"
#include "metadata/input_dispatch.h"
#include "metadata/track_info.h"

namespace metadata_test {

struct tst_content {
  std::vector<std::string> titles;
  vantrel_io::file_stats stats;

  // An empty line is a track without tags.
  void fill(std::uint32_t subsong, track_info& out) const {
    const std::string& title = titles.at(subsong);
    if (!title.empty()) out.set_field("title", 5, title.data(), title.size());
  }
};

class tst_reader : public info_reader {
public:
  tst_content content;

  std::uint32_t get_subsong_count() override { return static_cast<std::uint32_t>(content.titles.size()); }
  std::uint32_t get_subsong(std::uint32_t index) override { return index; }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal&) override { content.fill(subsong, out); }
  vantrel_io::file_stats get_file_stats(const abort_signal&) override { return content.stats; }
};

// Rewrites the whole file on commit.
class tst_writer : public info_writer {
public:
  tst_content content;
  vantrel_io::file_ptr file;
  // Commits made by every writer, so tests can see that a file is written once.
  static inline std::atomic<int> commit_count{0};

  std::uint32_t get_subsong_count() override { return static_cast<std::uint32_t>(content.titles.size()); }
  std::uint32_t get_subsong(std::uint32_t index) override { return index; }
  void get_info(std::uint32_t subsong, track_info& out, const abort_signal&) override { content.fill(subsong, out); }
  // As the file is now: a commit changes its timestamp.
  vantrel_io::file_stats get_file_stats(const abort_signal& abort) override { return file->get_stats(abort); }
  void set_info(std::uint32_t subsong, const track_info& info, const abort_signal&) override {
    qiv::string_buffer title;
    info.get_field_text("title", title);
    content.titles.at(subsong) = title.get_ptr();
  }
  void commit(const abort_signal& abort) override {
    ++commit_count;
    std::string text = "TST";
    for (const auto& title : content.titles) text += "\n" + title;
    file->seek(0, abort);
    file->write(text.data(), static_cast<std::uint32_t>(text.size()), abort);
    file->resize(text.size(), abort);
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
    service_ptr<tst_reader> reader(new service_counted<tst_reader>());
    vantrel_io::open_or_rewind(file, path, open_reason::info_read, abort);
    parse(*file, reader->content, abort);
    out = reader.get();
  }
  void open_for_info_write(info_writer_ptr& out, vantrel_io::file_ptr file, const char* path,
                           const abort_signal& abort) override {
    service_ptr<tst_writer> writer(new service_counted<tst_writer>());
    vantrel_io::open_or_rewind(file, path, open_reason::info_write, abort);
    parse(*file, writer->content, abort);
    writer->file = file;
    out = writer.get();
  }
  void get_aux_text(vantrel_io::file_ptr, std::uint32_t, std::uint32_t, qiv::string_object&,
                    const abort_signal&) override {}
  std::uint32_t get_flags() override { return 0; }

private:
  static void parse(vantrel_io::file_object& file, tst_content& content, const abort_signal& abort) {
    std::string text;
    char buffer[4096];
    while (const std::uint32_t got = file.read(buffer, sizeof buffer, abort)) text.append(buffer, got);
    if (text.rfind("TST\n", 0) != 0) throw vantrel_io::exception_io_data();
    content.stats = file.get_stats(abort);
    std::size_t start = 4;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      content.titles.push_back(text.substr(start, end - start));
      start = end + 1;
    }
  }
};

}  // namespace metadata_test
