#include "playback/inputs/wavpack/wavpack_stream.h"

#include <cstdio>
#include <exception>

namespace {

wavpack_stream& stream_of(void* id) { return *static_cast<wavpack_stream*>(id); }

std::int32_t read_bytes(void* id, void* data, std::int32_t count) {
  try {
    wavpack_stream& s = stream_of(id);
    if (count <= 0 || !s.file) return 0;
    return static_cast<std::int32_t>(s.file->read(data, static_cast<std::uint32_t>(count), *s.abort));
  } catch (const std::exception&) {
    return 0;
  }
}

std::int64_t get_pos(void* id) {
  try {
    wavpack_stream& s = stream_of(id);
    return static_cast<std::int64_t>(s.file->get_position(*s.abort));
  } catch (const std::exception&) {
    return -1;
  }
}

int set_pos_abs(void* id, std::int64_t position) {
  try {
    wavpack_stream& s = stream_of(id);
    s.file->seek_from_origin(position, 0, *s.abort);
    return 0;
  } catch (const std::exception&) {
    return 1;
  }
}

int set_pos_rel(void* id, std::int64_t delta, int mode) {
  try {
    wavpack_stream& s = stream_of(id);
    s.file->seek_from_origin(delta, static_cast<std::uint32_t>(mode), *s.abort);
    return 0;
  } catch (const std::exception&) {
    return 1;
  }
}

// The library only ever pushes back the byte it has just read.
int push_back_byte(void* id, int c) {
  try {
    wavpack_stream& s = stream_of(id);
    s.file->seek_from_origin(-1, 1, *s.abort);
    return c;
  } catch (const std::exception&) {
    return EOF;
  }
}

std::int64_t get_length(void* id) {
  try {
    wavpack_stream& s = stream_of(id);
    const std::uint64_t size = s.file->get_size(*s.abort);
    return size == vantrel_io::filesize_unknown ? -1 : static_cast<std::int64_t>(size);
  } catch (const std::exception&) {
    return -1;
  }
}

int can_seek(void* id) {
  try {
    return stream_of(id).file->can_seek() ? 1 : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

WavpackStreamReader64 reader_table = {
    read_bytes, nullptr, get_pos, set_pos_abs, set_pos_rel, push_back_byte, get_length, can_seek, nullptr, nullptr,
};

}  // namespace

WavpackStreamReader64* wavpack_stream_reader() { return &reader_table; }
