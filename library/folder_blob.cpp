#include "library/folder_blob.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/byte_order.h"
#include "foundation/exceptions.h"
#include "foundation/guid_equal.h"
#include "foundation/string_buffer.h"
#include "io/io_exceptions.h"
#include "io/stream_fields.h"
#include "io/stream_strings.h"
#include "metadata/track_handle_registry.h"

namespace {

constexpr GUID tree_tag = {0xA5CA0AD0, 0xEA5D, 0x4E04, {0xAA, 0x2C, 0xDD, 0x0A, 0x45, 0x02, 0x36, 0x6E}};
constexpr GUID end_tag = {0x9BEA8494, 0x6045, 0x4945, {0x9A, 0xBC, 0x0B, 0x38, 0xAE, 0xC3, 0x91, 0x6A}};

// The payload in blocks of one size: a folder's blob holds every track's
// display texts, and one block grown by doubling needs room for two copies of
// them at once, which an address space those tracks already fill may not
// have (the write at exit then fails for want of memory).
class chunked_payload final : public vantrel_io::writer {
public:
  void write(const void* buffer, std::uint32_t bytes, const abort_signal& abort) override {
    abort.check_and_throw();
    if (bytes > ~std::uint32_t(0) - size_) qiv::throw_bad_alloc();
    const auto* from = static_cast<const std::uint8_t*>(buffer);
    while (bytes > 0) {
      if (size_ == std::uint64_t(chunks_.size()) * chunk_size)
        chunks_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(chunk_size));
      const std::uint32_t offset = size_ % chunk_size;
      const std::uint32_t now = std::min(bytes, chunk_size - offset);
      std::memcpy(chunks_.back().get() + offset, from, now);
      from += now;
      bytes -= now;
      size_ += now;
    }
  }
  std::uint32_t size() const noexcept { return size_; }
  void write_to(vantrel_io::writer& target, const abort_signal& abort) const {
    std::uint32_t left = size_;
    for (const auto& chunk : chunks_) {
      const std::uint32_t now = std::min(left, chunk_size);
      target.write(chunk.get(), now, abort);
      left -= now;
    }
  }

private:
  static constexpr std::uint32_t chunk_size = 1u << 20;
  std::vector<std::unique_ptr<std::uint8_t[]>> chunks_;
  std::uint32_t size_ = 0;
};

class blob_writer {
public:
  explicit blob_writer(const abort_signal& abort) : abort_(abort) {}

  void u32(std::uint32_t value) {
    const std::uint8_t bytes[4] = {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
                                   std::uint8_t(value >> 24)};
    out.write(bytes, 4, abort_);
  }
  void u64(std::uint64_t value) {
    u32(static_cast<std::uint32_t>(value));
    u32(static_cast<std::uint32_t>(value >> 32));
  }
  void text(std::string_view value) {
    u32(static_cast<std::uint32_t>(value.size()));
    out.write(value.data(), static_cast<std::uint32_t>(value.size()), abort_);
  }

  void directory(const folder_tree_dir& dir) {
    u32(static_cast<std::uint32_t>(dir.files.size()));
    for (const folder_tree_file& file : dir.files) {
      text(dir.files.name_of(file));
      u64(file.file_time);
      u32(static_cast<std::uint32_t>(file.handles.size()));
      for (const track_handle_ptr& handle : file.handles) track(*handle, file.file_time);
    }
    u32(static_cast<std::uint32_t>(dir.dirs.size()));
    for (const auto& [name, child] : dir.dirs) {
      text(name);
      directory(*child);
    }
  }

  chunked_payload out;

private:
  void track(const track_handle& handle, std::uint64_t file_time) {
    u32(handle.get_location().get_subsong());
    track_info_lock hold;  // the worker may be storing new info meanwhile
    const track_display_info* record = nullptr;
    // Info read for another version of the file is not worth keeping.
    const bool current = handle.get_info_ref(record) && handle.get_info_timestamp() == file_time;
    u32(current ? 1 : 0);
    if (current) record->write(out, abort_);
  }

  const abort_signal& abort_;
};

// A reader over bytes already in memory.
class span_reader final : public vantrel_io::reader {
public:
  span_reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t remaining() const noexcept { return size_ - position_; }
  std::uint32_t read(void* buffer, std::uint32_t bytes, const abort_signal&) override {
    const std::size_t count = std::min<std::size_t>(bytes, size_ - position_);
    std::memcpy(buffer, data_ + position_, count);
    position_ += count;
    return static_cast<std::uint32_t>(count);
  }

private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// A stored name must be one component of the folder: anything else would
// reach outside it or name the folder itself.
void check_name(const qiv::string_buffer& name) {
  const std::string_view text(name.get_ptr(), name.get_length());
  bool only_dots = true;
  for (const char c : text) {
    if (c == '\0' || c == '\\' || c == '/') throw vantrel_io::exception_io_data();
    if (c != '.') only_dots = false;
  }
  if (only_dots) throw vantrel_io::exception_io_data();  // the empty name too
}

class blob_parser {
public:
  blob_parser(folder_tree& tree, span_reader& source, track_handle_list& out)
      : tree_(tree), source_(source), fields_(source, never_raised_abort_signal()), out_(out),
        full_(tree.full_path(std::string())) {
    if (full_.empty() || full_.back() != '\\') full_ += '\\';
    relative_start_ = full_.size();
  }

  // `full_` holds the path of the folder being read, with its separator:
  // names are appended and cut off again on the way back, so that no path is
  // built anew for each of a library's files.
  void directory(folder_tree_dir& dir, std::uint32_t depth) {
    if (depth > folder_tree::max_depth) throw vantrel_io::exception_io_data();
    const std::size_t folder_end = full_.size();
    std::uint32_t count = 0;
    fields_.read_u32(count);
    // Room for as many files as the bytes left could hold, at most.
    dir.files.reserve(std::min<std::size_t>(count, source_.remaining() / smallest_file_record));
    // The names come in the list's order from files this program wrote;
    // any other order is put right once at the end rather than by moving
    // the entries on every name.
    bool ordered = true;
    previous_name_.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
      name();
      full_.resize(folder_end);
      full_.append(name_.get_ptr(), name_.get_length());
      const std::string_view text(name_.get_ptr(), name_.get_length());
      if (ordered && i > 0 && text < previous_name_) ordered = false;
      if (ordered) previous_name_.assign(text);
      file(ordered ? dir.files.insert(text) : dir.files.append(text));
    }
    if (!ordered) dir.files.restore_order();
    dir.files.shrink_to_fit();
    fields_.read_u32(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      name();
      auto& child = dir.dirs[std::string(name_.get_ptr(), name_.get_length())];
      if (!child) child = std::make_unique<folder_tree_dir>();
      full_.resize(folder_end);
      full_.append(name_.get_ptr(), name_.get_length());
      full_ += '\\';
      directory(*child, depth + 1);
    }
    full_.resize(folder_end);
  }

private:
  void name() {
    std::uint32_t length = 0;
    fields_.read_u32(length);
    vantrel_io::stream::read_string(source_, length, never_raised_abort_signal(), name_);
    check_name(name_);
  }

  // A name of one byte, the file time and no tracks.
  static constexpr std::size_t smallest_file_record = 4 + 1 + 8 + 4;

  void file(folder_tree_file& entry) {
    std::uint8_t time_bytes[8];
    source_.read_exact(time_bytes, 8, never_raised_abort_signal());
    entry.file_time = qiv::load_le(time_bytes, 4) | (std::uint64_t(qiv::load_le(time_bytes + 4, 4)) << 32);
    handles_.clear();
    std::uint32_t count = 0;
    fields_.read_u32(count);
    bool needs_read = false;
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint32_t subsong = 0, flag = 0;
      fields_.read_u32(subsong).read_u32(flag);
      track_handle_ptr handle;
      track_handle_registry::get_handle(handle, full_.c_str(), full_.size(), subsong);
      if ((flag & 1) != 0) {
        handle->load_info_from_stream(entry.file_time, source_, never_raised_abort_signal());
      } else {
        track_info_lock hold;
        if (!handle->has_info()) needs_read = true;
      }
      handles_.push_back(std::move(handle));
    }
    out_.insert(out_.end(), handles_.begin(), handles_.end());
    entry.handles.assign(std::move(handles_));
    if (needs_read) tree_.retry_add(full_.substr(relative_start_), true);
  }

  folder_tree& tree_;
  span_reader& source_;
  vantrel_io::stream_reader fields_;
  track_handle_list& out_;
  track_handle_list handles_;  // of the file being read
  qiv::string_buffer name_;
  std::string previous_name_;  // in the folder being read, while its names come in order
  std::string full_;
  std::size_t relative_start_ = 0;
};

}  // namespace

void write_folder_blob(folder_tree& tree, vantrel_io::writer& target, const abort_signal& abort) {
  blob_writer payload(abort);
  {
    critical_section_lock hold(tree.lock());
    payload.directory(tree.root());
  }
  vantrel_io::stream_writer fields(target, abort);
  fields.write_guid(tree_tag).write_u32(payload.out.size());
  payload.out.write_to(target, abort);
  fields.write_guid(end_tag);
}

void read_folder_blob(folder_tree& tree, const char* folder_path, vantrel_io::file_object& blob,
                      track_handle_list& out) {
  const abort_signal& abort = never_raised_abort_signal();
  tree.reset(folder_path);
  out.clear();
  const std::uint64_t size = blob.get_size(abort);
  if (size == vantrel_io::filesize_unknown) throw vantrel_io::exception_io_no_length();
  vantrel_io::stream_reader fields(blob, abort);
  for (;;) {
    GUID tag;
    fields.read_guid(tag);
    if (qiv::guid_equal(tag, end_tag)) break;
    std::uint32_t payload_size = 0;
    fields.read_u32(payload_size);
    const std::uint64_t position = blob.get_position(abort);
    if (position + payload_size > size) throw vantrel_io::exception_io_data();
    if (qiv::guid_equal(tag, tree_tag)) {
      // One large read: the payload is parsed from memory.
      std::vector<std::uint8_t> payload(payload_size);
      blob.read_exact(payload.data(), payload_size, abort);
      span_reader source(payload.data(), payload.size());
      blob_parser(tree, source, out).directory(tree.root(), 0);
    }
    blob.seek(position + payload_size, abort);
  }
  tree.forget_unsaved_changes();
  tree.deliver();
}
