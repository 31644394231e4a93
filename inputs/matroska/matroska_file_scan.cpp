#include "inputs/matroska/matroska_file_scan.h"

#include <iterator>

#include "inputs/matroska/ebml_elements.h"
#include "inputs/matroska/ebml_values.h"
#include "inputs/matroska/matroska_ids.h"
#include "inputs/matroska/matroska_records.h"
#include "io/io_exceptions.h"

namespace Matroska {

namespace {

class unsupported_doc_type : public vantrel_io::exception_io_data {
public:
  explicit unsupported_doc_type(const std::string& doc_type)
      : exception_io_data([&] {
          vantrel_io::io_message message("exception_matroska_doc_type", "Unsupported document type: \"{type}\"");
          message.fill_placeholder("type", doc_type.c_str());
          return message;
        }()) {}
};

class header_handler : public ebml_element_handler {
public:
  explicit header_handler(std::string& doc_type) : doc_type_(doc_type) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    switch (id) {
      case ids::ebml_read_version:
        if (ebml_read_uint(reader, size) > 1) vantrel_io::throw_io_data();
        break;
      case ids::doc_type_read_version:
        if (ebml_read_uint(reader, size) > 2) vantrel_io::throw_io_data();
        break;
      case ids::doc_type:
        doc_type_ = ebml_read_ascii(reader, size);
        break;
    }
  }

  void on_end() override {
    if (doc_type_ != "matroska" && doc_type_ != "webm") throw unsupported_doc_type(doc_type_);
  }

private:
  std::string& doc_type_;
};

class seek_handler : public ebml_element_handler {
public:
  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    if (id == ids::seek_id) {
      target_id = ebml_read_id(reader);
      if (!reader.at_end()) vantrel_io::throw_io_data();
      has_id = true;
    } else if (id == ids::seek_position) {
      position = ebml_read_uint(reader, size);
    }
  }

  bool has_id = false;
  std::uint32_t target_id = 0;
  std::uint64_t position = matroska_unset;
};

class seekhead_handler : public ebml_element_handler {
public:
  seekhead_handler(matroska_file_scan& scan, std::set<std::uint64_t>* new_seekheads)
      : scan_(scan), new_seekheads_(new_seekheads) {}

  void on_element(std::uint32_t id, std::uint64_t, ebml_reader& reader) override {
    if (id != ids::seek) return;
    seek_handler seek;
    ebml_read_children(reader, seek);
    if (!seek.has_id || seek.position == matroska_unset) vantrel_io::throw_io_data();
    if (seek.position >= scan_.segment_data_size) {
      if (scan_.cut) return;  // beyond what the file holds
      vantrel_io::throw_io_data();
    }
    const std::uint64_t position = scan_.segment_data_start + seek.position;
    const bool known = !scan_.element_positions[seek.target_id].insert(position).second;
    if (!known && seek.target_id == ids::seek_head && new_seekheads_) new_seekheads_->insert(position);
  }

private:
  matroska_file_scan& scan_;
  std::set<std::uint64_t>* new_seekheads_;
};

class segment_handler : public ebml_element_handler {
public:
  explicit segment_handler(matroska_file_scan& scan) : scan_(scan) {}

  void on_begin(ebml_reader& reader) override {
    scan_.segment_data_start = reader.position();
    scan_.segment_data_size = reader.remaining();
  }

  void on_element(std::uint32_t id, std::uint64_t, ebml_reader& reader) override {
    scan_.element_positions[id].insert(element_start);
    if (id == ids::seek_head) {
      matroska_read_seekhead(scan_, reader);
      scan_.seekheads_read.insert(element_start);
    }
  }

  bool reads_cut_data() override { return scan_.cut; }

  // A SeekHead tells where the rest lies; without one the scan walks on
  // until the four elements that opening needs have been seen.
  bool wants_more() override {
    if (scan_.knows(ids::seek_head)) return false;
    return !(scan_.knows(ids::tracks) && scan_.knows(ids::info) && scan_.knows(ids::chapters) &&
             scan_.knows(ids::cues));
  }

private:
  matroska_file_scan& scan_;
};

class top_level_handler : public ebml_element_handler {
public:
  explicit top_level_handler(matroska_file_scan& scan) : scan_(scan), header_(scan.doc_type), segment_(scan) {}

  void on_element(std::uint32_t id, std::uint64_t size, ebml_reader& reader) override {
    if (id == ids::ebml) {
      ebml_read_children_once(reader, header_);
    } else if (id == ids::segment) {
      scan_.cut = size > reader.remaining();
      ebml_read_children_once(reader, segment_);
      scan_.segment_position = element_start;
    }
  }

  // What follows the Segment is not walked: a retag killed while appending
  // leaves a partial element there, and the file must still open.
  bool wants_more() override { return !segment_.done; }
  bool reads_cut_data() override { return true; }

  void on_end() override {
    if (!header_.done || !segment_.done) vantrel_io::throw_io_data();
  }

private:
  matroska_file_scan& scan_;
  header_handler header_;
  segment_handler segment_;
};

// In a cut file every mapped element that the end of the data cuts, or that
// lies past it, is dropped: what is missing reads as absent. Clusters stay,
// since decoding plays what there is of the last one.
void drop_cut_elements(matroska_file_scan& scan, ebml_reader& reader) {
  const std::uint64_t end = scan.segment_data_start + scan.segment_data_size;
  for (auto& [id, positions] : scan.element_positions) {
    if (id == ids::cluster) continue;
    for (auto at = positions.begin(); at != positions.end();) {
      bool whole = false;
      if (*at < end) {
        try {
          reader.seek(*at);
          ebml_read_id(reader);
          const std::uint64_t size = ebml_read_size(reader);
          whole = reader.position() <= end && size <= end - reader.position();
        } catch (const vantrel_io::exception_io_data&) {
        }
      }
      at = whole ? std::next(at) : positions.erase(at);
    }
  }
}

std::uint64_t read_at(ebml_reader& reader, ebml_element_handler& handler, std::uint32_t id, std::uint64_t position) {
  reader.seek(position);
  ebml_read_element(reader, handler, id);
  return reader.position() - position;
}

}  // namespace

const std::set<std::uint64_t>& matroska_file_scan::positions_of(std::uint32_t id) const {
  static const std::set<std::uint64_t> none;
  const auto found = element_positions.find(id);
  return found == element_positions.end() ? none : found->second;
}

bool matroska_at_segment_child(const matroska_file_scan& scan, ebml_reader& reader) {
  const std::uint64_t segment_end = scan.segment_data_start + scan.segment_data_size;
  if (reader.position() >= segment_end) return reader.position() == segment_end;
  std::uint32_t id = 0;
  try {
    id = ebml_read_id(reader);
  } catch (const vantrel_io::exception_io_data&) {
    return false;
  }
  constexpr std::uint32_t crc32 = 0x3F;
  for (std::uint32_t child : {ids::seek_head, ids::info, ids::tracks, ids::chapters, ids::cluster, ids::cues,
                              ids::attachments, ids::tags, ids::void_element, crc32})
    if (id == child) return true;
  return false;
}

void matroska_read_seekhead(matroska_file_scan& scan, ebml_reader& reader, std::set<std::uint64_t>* new_seekheads) {
  seekhead_handler handler(scan, new_seekheads);
  ebml_read_children(reader, handler);
}

namespace {

// Whether a whole Tags element of the Segment starts at `position`.
bool tags_element_at(const matroska_file_scan& scan, ebml_reader& reader, std::uint64_t position) {
  const std::uint64_t segment_end = scan.segment_data_start + scan.segment_data_size;
  if (position >= segment_end) return false;
  reader.seek(position);
  if (ebml_read_id(reader) != ids::tags) return false;
  const std::uint64_t size = ebml_read_size(reader);
  return reader.position() <= segment_end && size <= segment_end - reader.position();
}

// The Tags elements that the SeekHead at `position` names.
std::set<std::uint64_t> tags_named_by(const matroska_file_scan& scan, ebml_reader& reader, std::uint64_t position) {
  matroska_file_scan named;
  named.segment_data_start = scan.segment_data_start;
  named.segment_data_size = scan.segment_data_size;
  named.cut = scan.cut;
  std::set<std::uint64_t> found;
  try {
    reader.seek(position);
    ebml_read_id(reader);
    const std::uint64_t size = ebml_read_size(reader);
    {
      ebml_element_scope scope(reader, size);
      matroska_read_seekhead(named, reader);
    }
    for (std::uint64_t tags : named.positions_of(ids::tags))
      if (tags_element_at(scan, reader, tags)) found.insert(tags);
  } catch (const vantrel_io::exception_io_data&) {
  }
  return found;
}

}  // namespace

void matroska_find_front_tags(matroska_file_scan& scan, ebml_reader& reader) {
  class front_handler : public ebml_element_handler {
  public:
    explicit front_handler(matroska_file_scan& scan) : scan_(scan) {}
    void on_element(std::uint32_t id, std::uint64_t, ebml_reader&) override {
      if (id == ids::cluster) cluster_met_ = true;
      else if (id == ids::tags) found.insert(element_start);
      else if (id == ids::seek_head && !scan_.seekheads_read.count(element_start)) seekheads.insert(element_start);
    }
    bool wants_more() override { return !cluster_met_; }
    bool reads_cut_data() override { return scan_.cut; }
    std::set<std::uint64_t> found, seekheads;

  private:
    matroska_file_scan& scan_;
    bool cluster_met_ = false;
  } handler(scan);
  try {
    reader.seek(scan.segment_data_start);
    ebml_element_scope scope(reader, scan.segment_data_size);
    ebml_read_children(reader, handler);
  } catch (const vantrel_io::exception_io_data&) {
  }
  // Those readers also read the Tags that the SeekHeads they meet there
  // name, wherever they stand.
  for (std::uint64_t head : handler.seekheads) {
    const std::set<std::uint64_t> named_there = tags_named_by(scan, reader, head);
    handler.found.insert(named_there.begin(), named_there.end());
  }
  // Without a SeekHead every reader walks to them: each is the file's own.
  const std::set<std::uint64_t> named = scan.positions_of(ids::tags);
  const bool unnamed_is_second = scan.knows(ids::seek_head) && !named.empty();
  for (std::uint64_t position : handler.found) {
    if (named.count(position)) continue;
    scan.element_positions[ids::tags].insert(position);
    if (unnamed_is_second) scan.second_tags.insert(position);
  }
}

void matroska_scan_file(matroska_file_scan& scan, ebml_reader& reader) {
  ebml_find_header(reader);
  top_level_handler top(scan);
  ebml_read_children(reader, top);
  // One Segment per file: a second one is still refused, whatever else
  // follows the first.
  if (!reader.at_end()) {
    bool second_segment = false;
    try {
      second_segment = ebml_read_id(reader) == ids::segment;
    } catch (const vantrel_io::exception_io_data&) {
    }
    if (second_segment) vantrel_io::throw_io_data();
  }

  // SeekHeads found through other SeekHeads, to any depth, the first in the
  // file first; a loop of them ends because each position is read once.
  // Those still to read are kept aside, not looked for among all known
  // again after each: a file can chain thousands.
  std::set<std::uint64_t> unread;
  for (std::uint64_t position : scan.positions_of(ids::seek_head))
    if (!scan.seekheads_read.count(position)) unread.insert(position);
  while (!unread.empty()) {
    const std::uint64_t position = *unread.begin();
    unread.erase(unread.begin());
    reader.seek(position);
    if (ebml_read_id(reader) != ids::seek_head) vantrel_io::throw_io_data();
    const std::uint64_t size = ebml_read_size(reader);
    scan.seekheads_read.insert(position);
    if (scan.cut && size > reader.remaining()) continue;
    ebml_element_scope scope(reader, size);
    matroska_read_seekhead(scan, reader, &unread);
  }
  if (scan.cut) drop_cut_elements(scan, reader);
}

std::uint64_t matroska_read_unique(const matroska_file_scan& scan, ebml_reader& reader,
                                   ebml_element_handler& handler, std::uint32_t id) {
  const auto& positions = scan.positions_of(id);
  if (positions.size() != 1) vantrel_io::throw_io_data();
  return read_at(reader, handler, id, *positions.begin());
}

std::uint64_t matroska_read_all(const matroska_file_scan& scan, ebml_reader& reader,
                                ebml_element_handler& handler, std::uint32_t id) {
  const auto& positions = scan.positions_of(id);
  if (positions.empty()) vantrel_io::throw_io_data();
  std::uint64_t total = 0;
  for (std::uint64_t position : positions) total += read_at(reader, handler, id, position);
  return total;
}

}  // namespace Matroska
