#include "metadata/tags/riff_chunks.h"

#include <cstring>

#include "foundation/byte_order.h"
#include "io/io_exceptions.h"
#include "metadata/input_file_access.h"

namespace riff_chunks {

namespace {

void write_header(vantrel_io::file_object& file, const char* id, std::uint64_t size, const abort_signal& abort) {
  if (size > 0xFFFFFFFF) vantrel_io::throw_io_data();
  std::uint8_t bytes[8];
  std::memcpy(bytes, id, 4);
  qiv::store_le(bytes + 4, static_cast<std::uint32_t>(size), 4);
  file.write(bytes, 8, abort);
}

// One "JUNK" header that makes [start, end) a single chunk.
void write_junk(vantrel_io::file_object& file, std::uint64_t start, std::uint64_t end, const abort_signal& abort) {
  if ((start & 1) || (end & 1) || end < start + 8) vantrel_io::throw_io_data();
  file.seek(start, abort);
  write_header(file, "JUNK", end - start - 8, abort);
}

// Sets the RIFF total after chunks were added or cut off; a file longer
// than the total is cut.
void set_total(vantrel_io::file_object& file, std::uint64_t total, bool cutting_back, const abort_signal& abort) {
  if (total < 12 || total - 8 > 0xFFFFFFFF) vantrel_io::throw_io_data();
  const std::uint64_t file_size = file.get_size(abort);
  if (cutting_back && total > file_size) vantrel_io::throw_io_data();
  std::uint64_t field = total - 8;
  field += field & 1;
  if (field > 0xFFFFFFFF) vantrel_io::throw_io_data();
  std::uint8_t bytes[4];
  qiv::store_le(bytes, static_cast<std::uint32_t>(field), 4);
  file.seek(4, abort);
  file.write(bytes, 4, abort);
  if (file_size > total) file.resize(total, abort);
}

void write_chunk_at(vantrel_io::file_object& file, std::uint64_t offset, const char* id,
                    const std::vector<std::uint8_t>& data, const abort_signal& abort) {
  file.seek(offset, abort);
  write_header(file, id, data.size(), abort);
  if (!data.empty()) file.write(data.data(), static_cast<std::uint32_t>(data.size()), abort);
  if (data.size() & 1) {
    const std::uint8_t pad = 0;
    file.write(&pad, 1, abort);
  }
}

bool is_info_list(vantrel_io::file_object& file, const header& chunk, const abort_signal& abort) {
  if (!is_id(chunk.id, "LIST") || chunk.size < 4) return false;
  char type[4];
  file.read_exact(type, 4, abort);
  return is_id(type, "INFO");
}

}  // namespace

bool is_id(const char* id, const char* expected) { return std::memcmp(id, expected, 4) == 0; }

bool is_id3_chunk(const char* id) { return is_id(id, "id3 ") || is_id(id, "ID3 "); }

header read_header(vantrel_io::file_object& file, const abort_signal& abort) {
  std::uint8_t bytes[8];
  file.read_exact(bytes, 8, abort);
  header result;
  std::memcpy(result.id, bytes, 4);
  result.size = qiv::load_le(bytes + 4, 4);
  return result;
}

std::uint64_t read_riff_header(vantrel_io::file_object& file, bool require_wave, const abort_signal& abort) {
  file.seek(0, abort);
  const header riff = read_header(file, abort);
  if (!is_id(riff.id, "RIFF")) vantrel_io::throw_io_data();
  const std::uint64_t total = std::uint64_t(riff.size) + 8;
  // A size short of the form type (0 is what unfinished recordings hold)
  // would make the end of the tree the start of the file.
  if (total < 12) vantrel_io::throw_io_data();
  const std::uint64_t file_size = file.get_size(abort);
  if (file_size == vantrel_io::filesize_unknown) vantrel_io::throw_exception_io_no_length();
  if (file_size < total) vantrel_io::throw_io_data();
  char form[4];
  file.read_exact(form, 4, abort);
  if (require_wave && !is_id(form, "WAVE")) vantrel_io::throw_io_data();
  return total;
}

namespace {

struct tree_entry {
  std::uint64_t data_end;
  std::uint64_t next;
  bool removable;
};

// The whole tree, read before the first write: a damaged chunk fails the
// edit with nothing changed.
std::vector<tree_entry> read_tree(vantrel_io::file_object& file, bool drop_id3, bool drop_info,
                                  const abort_signal& abort) {
  const std::uint64_t end = riff_end(read_riff_header(file, true, abort));
  std::vector<tree_entry> entries;
  bool has_audio = false;
  for (std::uint64_t offset = 12; offset < end;) {
    vantrel_io::seek_checked(file, offset, abort);
    const header chunk = read_header(file, abort);
    const std::uint64_t next = next_offset(offset, chunk.size);
    if (next > end) vantrel_io::throw_io_data();
    has_audio = has_audio || is_id(chunk.id, "data");
    const bool removable = is_id(chunk.id, "JUNK") || (drop_id3 && is_id3_chunk(chunk.id)) ||
                           (drop_info && is_info_list(file, chunk, abort));
    entries.push_back({offset + 8 + chunk.size, next, removable});
    offset = next;
  }
  // A RIFF size that ends the tree before the audio: cutting the file or
  // appending at that end would lose the audio after it.
  if (!has_audio) vantrel_io::throw_io_data();
  return entries;
}

}  // namespace

std::uint64_t check_tree(vantrel_io::file_object& file, const abort_signal& abort) {
  return read_tree(file, false, false, abort).back().data_end;
}

void merge_into_junk(vantrel_io::file_object& file, bool drop_id3, bool drop_info, const abort_signal& abort) {
  const std::uint64_t end = riff_end(read_riff_header(file, true, abort));
  std::uint64_t run_start = 12;
  for (const tree_entry& e : read_tree(file, drop_id3, drop_info, abort)) {
    if (e.removable) write_junk(file, run_start, e.next, abort);
    else run_start = e.next;
  }
  if (run_start < end) set_total(file, run_start, true, abort);
}

void place_chunk(vantrel_io::file_object& file, const char* id, const std::vector<std::uint8_t>& data,
                 const abort_signal& abort) {
  const std::uint64_t total = read_riff_header(file, false, abort);
  const std::uint64_t end = riff_end(total);
  const std::uint64_t needed = 8 + data.size() + (data.size() & 1);
  std::uint64_t run_start = 12;
  bool ends_with_junk = false;
  for (std::uint64_t offset = 12; offset < end;) {
    vantrel_io::seek_checked(file, offset, abort);
    const header chunk = read_header(file, abort);
    const std::uint64_t next = next_offset(offset, chunk.size);
    ends_with_junk = is_id(chunk.id, "JUNK");
    if (!ends_with_junk) {
      run_start = next;
    } else {
      const std::uint64_t room = next - run_start;
      if (room == needed || room >= needed + 8) {
        write_chunk_at(file, run_start, id, data, abort);
        if (room > needed) write_junk(file, run_start + needed, next, abort);
        return;
      }
    }
    offset = next;
  }
  std::uint64_t current_total = total;
  if (ends_with_junk && run_start < end) {
    set_total(file, run_start, true, abort);
    current_total = run_start;
  }
  const std::uint64_t offset = riff_end(current_total);
  set_total(file, offset + 8 + data.size(), false, abort);
  if (file.get_size(abort) > offset) file.resize(offset, abort);
  write_chunk_at(file, offset, id, data, abort);
}

}  // namespace riff_chunks
