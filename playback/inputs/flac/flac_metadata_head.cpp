#include "playback/inputs/flac/flac_metadata_head.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "foundation/byte_order.h"
#include "io/io_exceptions.h"
#include "io/leading_id3v2_tags.h"

namespace {

// One transfer usually holds the whole head (a cover of a few dozen KB
// included); a larger head is read on in steps at least this large.
constexpr std::uint64_t read_step = 64 * 1024;

class head_reader {
public:
  head_reader(vantrel_io::file_object& file, std::vector<std::uint8_t>& bytes, std::uint64_t size,
              const abort_signal& abort)
      : file_(file), bytes_(bytes), size_(size), abort_(abort) {}

  // False when the file ends before `end`.
  bool ensure(std::uint64_t end) {
    if (end <= bytes_.size()) return true;
    if (end > size_) return false;
    const std::uint64_t have = bytes_.size();
    const std::uint64_t target = std::min(size_, std::max(end, have + read_step));
    if (target > 0x7FFFFFFF) vantrel_io::throw_io_data();
    bytes_.resize(std::size_t(target));
    file_.seek(have, abort_);
    file_.read_exact(bytes_.data() + have, std::uint32_t(target - have), abort_);
    return true;
  }

private:
  vantrel_io::file_object& file_;
  std::vector<std::uint8_t>& bytes_;
  const std::uint64_t size_;
  const abort_signal& abort_;
};

// libFLAC's I/O over the head's bytes.
struct memory_io {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position;
};

memory_io& io_of(FLAC__IOHandle handle) { return *static_cast<memory_io*>(handle); }

size_t memory_read(void* buffer, size_t size, size_t count, FLAC__IOHandle handle) noexcept {
  memory_io& io = io_of(handle);
  if (size == 0 || io.position >= io.size) return 0;
  const size_t items = std::min(count, (io.size - io.position) / size);
  std::memcpy(buffer, io.data + io.position, items * size);
  io.position += items * size;
  return items;
}

int memory_seek(FLAC__IOHandle handle, FLAC__int64 offset, int whence) noexcept {
  memory_io& io = io_of(handle);
  FLAC__int64 base = 0;
  if (whence == SEEK_CUR) base = FLAC__int64(io.position);
  else if (whence == SEEK_END) base = FLAC__int64(io.size);
  else if (whence != SEEK_SET) return -1;
  const FLAC__int64 target = base + offset;
  if (target < 0 || target > FLAC__int64(io.size)) return -1;
  io.position = std::size_t(target);
  return 0;
}

FLAC__int64 memory_tell(FLAC__IOHandle handle) noexcept { return FLAC__int64(io_of(handle).position); }

int memory_eof(FLAC__IOHandle handle) noexcept { return io_of(handle).position >= io_of(handle).size ? 1 : 0; }

constexpr FLAC__IOCallbacks memory_callbacks = {&memory_read, nullptr, &memory_seek, &memory_tell, &memory_eof, nullptr};

}  // namespace

flac_metadata_head read_flac_metadata_head(vantrel_io::file_object& file, const abort_signal& abort) {
  const std::uint64_t size = file.get_size(abort);
  if (size == vantrel_io::filesize_unknown) vantrel_io::throw_exception_io_no_length();
  flac_metadata_head head;
  head_reader reader(file, head.bytes, size, abort);
  // The run of leading tags, measured as id3v2_count_leading_tags does: a
  // tag that claims more than the file holds ends with the file.
  std::uint64_t position = 0;
  while (reader.ensure(position + 10)) {
    std::uint64_t length = id3v2_tag_length(head.bytes.data() + position);
    if (length == 0) break;
    length = std::min(length, size - position);
    position += length;
  }
  head.marker = position;
  if (!reader.ensure(position + 4) || std::memcmp(head.bytes.data() + position, "fLaC", 4) != 0)
    vantrel_io::throw_io_data();
  position += 4;
  for (bool last = false; !last;) {
    if (!reader.ensure(position + 4)) vantrel_io::throw_io_data();
    const std::uint8_t* header = head.bytes.data() + position;
    const std::uint32_t length = qiv::load_be(header + 1, 3);
    if (size - position - 4 < length) vantrel_io::throw_io_data();
    head.blocks.push_back({position, length});
    last = (header[0] & 0x80) != 0;
    position += 4 + std::uint64_t(length);
  }
  head.audio_start = position;
  if (!reader.ensure(position)) vantrel_io::throw_io_data();
  head.bytes.resize(std::size_t(position));
  return head;
}

flac_metadata_iterator_ptr flac_metadata_iterate(FLAC__Metadata_Chain* chain) {
  flac_metadata_iterator_ptr iterator(FLAC__metadata_iterator_new());
  if (!iterator) throw std::bad_alloc();
  FLAC__metadata_iterator_init(iterator.get(), chain);
  return iterator;
}

FLAC__Metadata_Chain* read_flac_metadata_chain(flac_metadata_head& head) {
  if (head.chain) return head.chain.get();
  flac_metadata_chain_ptr chain(FLAC__metadata_chain_new());
  if (!chain) throw std::bad_alloc();
  memory_io io{head.bytes.data(), head.bytes.size(), 0};
  if (!FLAC__metadata_chain_read_with_callbacks(chain.get(), &io, memory_callbacks)) return nullptr;
  head.chain = std::move(chain);
  return head.chain.get();
}
