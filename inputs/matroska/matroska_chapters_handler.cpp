#include "inputs/matroska/matroska_chapters_handler.h"

#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/matroska_ids.h"
#include "io/io_exceptions.h"

namespace Matroska {

namespace {

class display_handler : public ebml_element_handler {
public:
  explicit display_handler(std::string& title) : title_(title) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    if (id == ids::chap_string) title_ = ebml_read_utf8(reader, size);
  }

private:
  std::string& title_;
};

class atom_handler : public ebml_element_handler {
public:
  explicit atom_handler(matroska_chapter& chapter) : chapter_(chapter) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    switch (id) {
      case ids::chapter_uid:
        chapter_.uid = ebml_read_uint(reader, size);
        has_uid_ = true;
        break;
      case ids::chapter_time_start:
        chapter_.start = ebml_read_uint(reader, size);
        has_start_ = true;
        break;
      case ids::chapter_time_end:
        chapter_.end = ebml_read_uint(reader, size);
        break;
      case ids::chapter_flag_hidden:
        chapter_.hidden = ebml_read_bool(reader, size);
        break;
      case ids::chapter_flag_enabled:
        chapter_.enabled = ebml_read_bool(reader, size);
        break;
      case ids::chapter_display:
        // The first display names the chapter, whatever later ones hold.
        if (!has_display_) {
          has_display_ = true;
          display_handler display(chapter_.title);
          ebml_read_children(reader, display);
        }
        break;
    }
  }

  void on_end() override {
    if (!has_uid_ || !has_start_ || chapter_.start >= chapter_.end) vantrel_io::throw_io_data();
  }

private:
  matroska_chapter& chapter_;
  bool has_uid_ = false, has_start_ = false, has_display_ = false;
};

class edition_handler : public ebml_element_handler {
public:
  explicit edition_handler(matroska_edition& edition) : edition_(edition) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    switch (id) {
      case ids::edition_uid:
        if (has_uid_) vantrel_io::throw_io_data();
        edition_.uid = ebml_read_uint_nonzero(reader, size);
        has_uid_ = true;
        break;
      case ids::edition_flag_hidden:
        edition_.hidden = ebml_read_bool(reader, size);
        break;
      case ids::edition_flag_default:
        edition_.is_default = ebml_read_bool(reader, size);
        break;
      case ids::chapter_atom: {
        matroska_chapter chapter;
        atom_handler atom(chapter);
        ebml_read_children(reader, atom);
        edition_.chapters.push_back(std::move(chapter));
        break;
      }
    }
  }

private:
  matroska_edition& edition_;
  bool has_uid_ = false;
};

}  // namespace

void matroska_chapters_handler::on_element(std::uint32_t id, std::uint64_t, ebml_reader& reader) {
  if (id != ids::edition_entry) return;
  matroska_edition edition;
  edition_handler handler(edition);
  ebml_read_children(reader, handler);
  editions_.push_back(std::move(edition));
}

void matroska_chapters_handler::on_end() {
  for (const matroska_edition& edition : editions_) {
    if (edition.hidden) continue;
    chapters_.insert(chapters_.end(), edition.chapters.begin(), edition.chapters.end());
  }
}

}  // namespace Matroska
