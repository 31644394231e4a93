#include "metadata/tags/id3v2_reader.h"

#include <cstring>
#include <stdexcept>

#include "foundation/byte_scan.h"
#include "metadata/tags/id3v2_v22_frames.h"

namespace id3parser {

namespace {

constexpr std::uint32_t max_frame_size = 0x4000000;

// A size read from the tag is believed only as far as the data could hold it.
void check_size_available(reader& source, std::size_t size) {
  if (size > source.available()) throw parseError();
}

// Appends a frame that is removed again when anything fails before commit.
class frame_in_progress {
public:
  frame_in_progress(tag& target, std::uint32_t id) : target_(target) {
    target_.frames.emplace_back();
    target_.frames.back().id = id;
  }
  ~frame_in_progress() {
    if (!committed_) target_.frames.pop_back();
  }
  frame& get() { return target_.frames.back(); }
  void commit() { committed_ = true; }

private:
  tag& target_;
  bool committed_ = false;
};

void read_frame_payload(reader& source, frame& f, std::size_t size) {
  check_size_available(source, size);
  f.data.resize(size);
  if (size != 0) source.read_exact(f.data.data(), size);
}

std::uint32_t four_letter_id(const std::uint8_t (&bytes)[4]) {
  if (bytes[3] == 0) {
    const char text[4] = {char(bytes[0]), char(bytes[1]), char(bytes[2]), 0};
    // An unlisted three-letter identifier keeps its own bytes; the writer
    // drops identifiers that are not four letters, never writing a zero id.
    if (const std::uint32_t mapped = id3v2_frame_id_from_v22(text)) return mapped;
  }
  return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) | bytes[3];
}

void convert_v22_picture(frame& f) {
  if (f.data.size() < 4) throw parseError();
  if (f.data[0] > 1) throw parseError();
  const char* mime = id3v2_pic_mime_type(&f.data[1]);
  byte_vector converted;
  converted.reserve(f.data.size() + 16);
  converted.push_back(f.data[0]);
  converted.insert(converted.end(), mime, mime + std::strlen(mime) + 1);
  converted.insert(converted.end(), f.data.begin() + 4, f.data.end());
  f.data = std::move(converted);
}

// Each frame enters under its later form (id3v2_v22_frames.h), when the
// filter takes it; one with no later form keeps its three letters, so that
// a rewrite can tell that it would lose it.
void read_frames_v22(reader& source, frame_filter& filter, tag& out) {
  for (;;) {
    std::uint8_t id_bytes[3];
    if (source.read(id_bytes, 3) < 3 || id_bytes[0] == 0) return;
    std::uint8_t size_bytes[3];
    source.read_exact(size_bytes, 3);
    const std::uint32_t size = (std::uint32_t(size_bytes[0]) << 16) | (std::uint32_t(size_bytes[1]) << 8) | size_bytes[2];
    if (size >= max_frame_size) throw parseError();
    if (size == 0) continue;
    const char text[4] = {char(id_bytes[0]), char(id_bytes[1]), char(id_bytes[2]), 0};
    const std::uint32_t mapped = id3v2_frame_id_from_v22(text);
    const std::uint32_t id = mapped != 0 ? mapped : id3v2_three_letter_id(id_bytes);
    if (!filter.accept(id)) {
      source.skip_exact(size);
      continue;
    }
    frame_in_progress added(out, id);
    read_frame_payload(source, added.get(), size);
    if (id == frame_id("APIC")) convert_v22_picture(added.get());
    if (id == frame_id("LINK") && !id3v2_link_from_v22(added.get()))
      added.get().id = id3v2_three_letter_id(id_bytes);
    added.commit();
  }
}

void keep_raw(tag& out, std::uint32_t id, unsigned version, std::uint8_t status, std::uint8_t format, reader& source,
              std::size_t size) {
  frame_in_progress added(out, id);
  frame& f = added.get();
  f.raw_version = version;
  f.raw_status_flags = status;
  f.raw_format_flags = format;
  read_frame_payload(source, f, size);
  added.commit();
}

void read_frames_v23(reader& source, frame_filter& filter, tag& out) {
  for (;;) {
    std::uint8_t id_bytes[4];
    if (source.read(id_bytes, 4) < 4 || id_bytes[0] == 0) return;
    const std::uint32_t size = read_u32_be(source);
    std::uint8_t flags[2];
    source.read_exact(flags, 2);
    if (size >= max_frame_size) throw parseError();
    const std::uint32_t id = four_letter_id(id_bytes);
    const bool discard_on_change = (flags[0] & 0x80) != 0;
    const bool undecodable = (flags[1] & 0xE0) != 0;  // compressed, encrypted or grouped
    if (size == 0 || !filter.accept(id) || (undecodable && discard_on_change)) {
      source.skip_exact(size);
      continue;
    }
    if (undecodable) {
      keep_raw(out, id, 3, flags[0], flags[1], source, size);
      continue;
    }
    frame_in_progress added(out, id);
    read_frame_payload(source, added.get(), size);
    added.get().status_flags = flags[0];
    added.commit();
  }
}

void read_unsynchronised_payload(reader& source, frame& f, std::size_t size) {
  limited_reader limited(source, size);
  unsync_reader unsync(limited);
  std::size_t chunk = 256;
  std::size_t used = 0;
  for (;;) {
    f.data.resize(used + chunk);
    const std::size_t got = unsync.read(f.data.data() + used, chunk);
    used += got;
    if (got < chunk) break;
    if (chunk > (SIZE_MAX >> 2)) throw std::overflow_error("overflow");
    chunk *= 2;
  }
  f.data.resize(used);
}

// `all_unsynchronised`: the header's flag, which in this version says that
// every frame is unsynchronised whatever its own flags say. Each frame
// takes the flag over, so that it is stored with it again when the tag is
// written without the header's.
void read_frames_v24(reader& source, frame_filter& filter, tag& out, bool all_unsynchronised) {
  const std::uint8_t unsynchronised = all_unsynchronised ? 0x02 : 0x00;
  for (;;) {
    std::uint8_t id_bytes[4];
    if (source.read(id_bytes, 4) < 4 || id_bytes[0] == 0) return;
    std::uint32_t size = read_syncsafe(source);
    std::uint8_t flags[2];
    source.read_exact(flags, 2);
    flags[1] |= unsynchronised;
    if (size >= max_frame_size) throw parseError();
    const std::uint32_t id = four_letter_id(id_bytes);
    // Grouped, compressed or encrypted frames are kept as stored, flags and
    // all, as in version 2.3, where other readers show the rest of the tag.
    // Status flags (tag alter, file alter, read only) change nothing of what
    // a frame holds: such a frame is read as any other, as other readers
    // read it, and its flags stay with it.
    const bool undecodable = (flags[1] & 0x4C) != 0;
    if (size == 0 || !filter.accept(id)) {
      source.skip_exact(size);
      continue;
    }
    if (undecodable) {
      keep_raw(out, id, 4, flags[0], flags[1], source, size);
      continue;
    }
    frame_in_progress added(out, id);
    frame& f = added.get();
    if (flags[1] & 0x01) {
      if (size < 4) throw parseError();
      source.skip_exact(4);
      size -= 4;
    }
    check_size_available(source, size);
    if (flags[1] & 0x02)
      read_unsynchronised_payload(source, f, size);
    else
      read_frame_payload(source, f, size);
    f.v24_form = flags[1] & 0x03;
    f.status_flags = flags[0];
    added.commit();
  }
}

}  // namespace

void reader::read_exact(void* buffer, std::size_t n) {
  if (read(buffer, n) != n) throw parseError();
}

void reader::skip_exact(std::size_t n) {
  if (skip(n) != n) throw parseError();
}

std::size_t memory_reader::read(void* buffer, std::size_t n) {
  const std::size_t count = n < size_ - position_ ? n : size_ - position_;
  if (count != 0) std::memcpy(buffer, data_ + position_, count);
  position_ += count;
  return count;
}

std::size_t memory_reader::skip(std::size_t n) {
  const std::size_t count = n < size_ - position_ ? n : size_ - position_;
  position_ += count;
  return count;
}

std::size_t limited_reader::read(void* buffer, std::size_t n) {
  const std::size_t got = inner_.read(buffer, n < remaining_ ? n : remaining_);
  remaining_ -= got;
  return got;
}

std::size_t limited_reader::skip(std::size_t n) {
  const std::size_t got = inner_.skip(n < remaining_ ? n : remaining_);
  remaining_ -= got;
  return got;
}

std::size_t limited_reader::available() const {
  const std::size_t inner = inner_.available();
  return inner < remaining_ ? inner : remaining_;
}

// Reads straight into the caller's buffer and takes the inserted zeros out
// in place: a picture is a few reads of the tag, not one per byte.
std::size_t unsync_reader::read(void* buffer, std::size_t n) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t count = 0;
  if (n != 0 && has_pending_) {
    has_pending_ = false;
    out[count++] = pending_;
  }
  while (count < n) {
    const std::size_t end = count + inner_.read(out + count, n - count);
    if (end == count) break;
    std::size_t kept = count;
    for (std::size_t i = count; i < end; ++i) {
      // The run up to the next FF moves down whole.
      const std::size_t ff = std::size_t(qiv::find_byte(out + i, out + end, 0xFF) - out);
      if (kept != i) std::memmove(out + kept, out + i, ff - i);
      kept += ff - i;
      if (ff == end) break;
      i = ff;
      out[kept++] = 0xFF;
      std::uint8_t following = 0;
      if (i + 1 < end) {
        following = out[++i];
      } else if (inner_.read(&following, 1) != 1) {
        break;  // the inserted zero may be cut off by the end of the data
      }
      if ((following & 0xE0) == 0xE0) throw parseError();
      if (following == 0) continue;
      // Below 0xE0, so never an FF that would need a look further ahead.
      if (kept < n) {
        out[kept++] = following;
      } else {
        pending_ = following;
        has_pending_ = true;
      }
    }
    count = kept;
  }
  return count;
}

std::size_t unsync_reader::skip(std::size_t n) {
  std::uint8_t scratch[4096];
  std::size_t count = 0;
  while (count < n) {
    const std::size_t want = n - count < sizeof scratch ? n - count : sizeof scratch;
    const std::size_t got = read(scratch, want);
    count += got;
    if (got < want) break;
  }
  return count;
}

std::uint32_t read_u32_be(reader& source) {
  std::uint8_t bytes[4];
  source.read_exact(bytes, 4);
  return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) | bytes[3];
}

std::uint32_t read_syncsafe(reader& source) {
  std::uint8_t bytes[4];
  source.read_exact(bytes, 4);
  std::uint32_t value = 0;
  for (std::uint8_t b : bytes) {
    if (b & 0x80) throw parseError();
    value = (value << 7) | b;
  }
  return value;
}

void read_tag(reader& source, frame_filter& filter, tag& out) {
  out.frames.clear();
  out.version = 0;
  std::uint8_t header[6];
  source.read_exact(header, 6);
  if (std::memcmp(header, "ID3", 3) != 0) throw parseError();
  const std::uint8_t major = header[3];
  const std::uint8_t flags = header[5];
  const std::uint32_t size = read_syncsafe(source);
  limited_reader limited(source, size);
  switch (major) {
    case 2: {
      if (flags & 0x7F) throw parseError();
      if (flags & 0x80) {
        unsync_reader unsync(limited);
        read_frames_v22(unsync, filter, out);
      } else {
        read_frames_v22(limited, filter, out);
      }
      break;
    }
    case 3: {
      if (flags & 0x1F) throw parseError();
      unsync_reader unsync(limited);
      reader& body = (flags & 0x80) ? static_cast<reader&>(unsync) : limited;
      if (flags & 0x40) body.skip_exact(read_u32_be(body));
      read_frames_v23(body, filter, out);
      break;
    }
    case 4: {
      if (flags & 0x0F) throw parseError();
      if (flags & 0x40) {
        const std::uint32_t extended = read_syncsafe(limited);
        if (extended < 6) throw parseError();
        limited.skip_exact(extended - 4);
      }
      read_frames_v24(limited, filter, out, (flags & 0x80) != 0);
      break;
    }
    default:
      throw parseError();
  }
  out.version = major;
}

}  // namespace id3parser

const char* id3v2_pic_mime_type(const std::uint8_t* format) {
  if (std::memcmp(format, "PNG", 3) == 0) return "image/png";
  if (std::memcmp(format, "JPG", 3) == 0) return "image/jpeg";
  if (std::memcmp(format, "GIF", 3) == 0) return "image/gif";
  return "image/x-unknown";
}
