#include "inputs/musepack/musepack_reader_bridge.h"

#include <algorithm>
#include <exception>

namespace {

// A key of capital letters that names no packet the library knows.
constexpr char hidden_key_letter = 'X';

musepack_reader_bridge& bridge_of(mpc_reader* reader) { return *static_cast<musepack_reader_bridge*>(reader->data); }

// Exceptions never enter the library: a failure is a short read or a
// failed seek there.
mpc_int32_t read_bytes(mpc_reader* reader, void* buffer, mpc_int32_t size) noexcept {
  try {
    musepack_reader_bridge& b = bridge_of(reader);
    if (size <= 0) return 0;
    std::uint32_t wanted = static_cast<std::uint32_t>(size);
    const std::uint64_t position = b.file->get_position(*b.abort);
    if (b.end != vantrel_io::filesize_unknown)
      wanted = position >= b.end ? 0 : static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, b.end - position));
    const std::uint32_t got = wanted > 0 ? b.file->read(buffer, wanted, *b.abort) : 0;
    if (got < static_cast<std::uint32_t>(size)) b.met_end = true;
    for (std::uint64_t key = b.hidden_packet; key < b.hidden_packet + 2 && b.hidden_packet != vantrel_io::filesize_unknown;
         ++key)
      if (key >= position && key < position + got) static_cast<char*>(buffer)[key - position] = hidden_key_letter;
    return static_cast<mpc_int32_t>(got);
  } catch (const std::exception&) {
    return 0;
  }
}

mpc_bool_t seek_to(mpc_reader* reader, mpc_int32_t offset) noexcept {
  try {
    if (offset < 0) return MPC_FALSE;
    musepack_reader_bridge& b = bridge_of(reader);
    // A place past the end of a file cut short (the seek table an early
    // packet points to) is reached as the end, where reads find nothing: a
    // failed seek there would leave the library lost in the stream's header.
    const std::uint64_t size = b.end != vantrel_io::filesize_unknown ? b.end : b.file->get_size(*b.abort);
    const auto target = static_cast<std::uint64_t>(offset);
    b.file->seek(size != vantrel_io::filesize_unknown && target > size ? size : target, *b.abort);
    return MPC_TRUE;
  } catch (const std::exception&) {
    return MPC_FALSE;
  }
}

mpc_int32_t tell(mpc_reader* reader) noexcept {
  try {
    musepack_reader_bridge& b = bridge_of(reader);
    const std::uint64_t position = b.file->get_position(*b.abort);
    return position > musepack_max_file_size ? 0 : static_cast<mpc_int32_t>(position);
  } catch (const std::exception&) {
    return 0;
  }
}

mpc_int32_t get_size(mpc_reader* reader) noexcept {
  try {
    musepack_reader_bridge& b = bridge_of(reader);
    const std::uint64_t size = b.end != vantrel_io::filesize_unknown ? b.end : b.file->get_size(*b.abort);
    return size > musepack_max_file_size ? 0 : static_cast<mpc_int32_t>(size);
  } catch (const std::exception&) {
    return 0;
  }
}

mpc_bool_t can_seek(mpc_reader*) noexcept { return MPC_TRUE; }

}  // namespace

musepack_reader_bridge::musepack_reader_bridge() {
  reader.read = read_bytes;
  reader.seek = seek_to;
  reader.tell = tell;
  reader.get_size = get_size;
  reader.canseek = can_seek;
  reader.data = this;
}
