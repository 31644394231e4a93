#include "inputs/mp4/chapter_text_track.h"

#include <set>
#include <string_view>

#include "foundation/text_cut.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/payload_children.h"
#include "inputs/mp4/tarnex_exceptions.h"

namespace tarnex {

namespace {

// As many samples as a chapter list holds chapters; a text sample is a name
// and a few modifier boxes.
constexpr std::size_t max_samples = 1024;
constexpr std::uint32_t max_sample_bytes = 1u << 17;
constexpr std::size_t max_name_bytes = 0xFFFF;

std::uint64_t number_at(std::string_view bytes, std::size_t at, int width) {
  if (at > bytes.size() || bytes.size() - at < std::size_t(width)) throw exception_truncation();
  std::uint64_t v = 0;
  for (int i = 0; i < width; ++i) v = (v << 8) | std::uint8_t(bytes[at + std::size_t(i)]);
  return v;
}

std::uint32_t u32_at(std::string_view bytes, std::size_t at) { return std::uint32_t(number_at(bytes, at, 4)); }

// The payload of the first child of that type; empty when there is none.
std::string child(std::string_view payload, std::uint32_t type) {
  std::string found;
  bool seen = false;
  for_each_child(payload, [&](std::uint32_t t, std::string_view content) {
    if (t == type && !seen) found = content, seen = true;
  });
  return found;
}

std::uint32_t track_id(std::string_view trak) {
  const std::string header = child(trak, fourcc("tkhd"));
  return u32_at(header, number_at(header, 0, 1) == 1 ? 20 : 12);
}

// The IDs of the tracks that any track names as its chapters.
std::set<std::uint32_t> chapter_track_ids(const std::string& movie) {
  std::set<std::uint32_t> ids;
  for_each_child(movie, [&](std::uint32_t type, std::string_view trak) {
    if (type != fourcc("trak")) return;
    for_each_child(child(trak, fourcc("tref")), [&](std::uint32_t kind, std::string_view list) {
      if (kind != fourcc("chap")) return;
      for (std::size_t at = 0; at + 4 <= list.size(); at += 4) ids.insert(u32_at(list, at));
    });
  });
  return ids;
}

struct sample_tables {
  std::uint32_t entry_type = 0;  // "text" or "tx3g"
  std::uint32_t description_index = 0;
  std::vector<std::uint32_t> sizes;
  std::vector<std::uint64_t> offsets;
};

std::string sample_table_box(std::string_view trak) {
  return child(child(child(trak, fourcc("mdia")), fourcc("minf")), fourcc("stbl"));
}

// Where each sample of the track lies, from its sample sizes, its chunks and
// which samples each chunk holds; none for a track that is not text or whose
// tables do not add up.
std::optional<sample_tables> text_sample_tables(std::string_view trak) {
  const std::string handler = child(child(trak, fourcc("mdia")), fourcc("hdlr"));
  const std::uint32_t handler_type = u32_at(handler, 8);
  if (handler_type != fourcc("text") && handler_type != fourcc("sbtl")) return std::nullopt;
  const std::string table = sample_table_box(trak);
  sample_tables out;
  out.entry_type = u32_at(child(table, fourcc("stsd")), 12);
  if (out.entry_type != fourcc("text") && out.entry_type != fourcc("tx3g")) return std::nullopt;

  const std::string sizes = child(table, fourcc("stsz"));
  const std::uint32_t uniform = u32_at(sizes, 4), count = u32_at(sizes, 8);
  if (count > max_samples) return std::nullopt;
  for (std::uint32_t i = 0; i < count; ++i) out.sizes.push_back(uniform ? uniform : u32_at(sizes, 12 + 4 * std::size_t(i)));

  std::vector<std::uint64_t> chunks;
  const std::string narrow = child(table, fourcc("stco")), wide = child(table, fourcc("co64"));
  const bool is_wide = narrow.empty();
  const std::string& offsets = is_wide ? wide : narrow;
  const std::uint32_t chunk_count = u32_at(offsets, 4);
  if (chunk_count > max_samples) return std::nullopt;
  for (std::uint32_t i = 0; i < chunk_count; ++i)
    chunks.push_back(is_wide ? number_at(offsets, 8 + 8 * std::size_t(i), 8) : u32_at(offsets, 8 + 4 * std::size_t(i)));

  const std::string runs = child(table, fourcc("stsc"));
  const std::uint32_t run_count = u32_at(runs, 4);
  for (std::uint32_t r = 0; r < run_count && r < max_samples; ++r) {
    const std::size_t at = 8 + 12 * std::size_t(r);
    const std::uint32_t first = u32_at(runs, at), per_chunk = u32_at(runs, at + 4), description = u32_at(runs, at + 8);
    const std::uint32_t next = r + 1 < run_count ? u32_at(runs, at + 12) : chunk_count + 1;
    if (first == 0 || next <= first || (out.description_index != 0 && description != out.description_index))
      return std::nullopt;
    out.description_index = description;
    for (std::uint32_t c = first; c < next && c <= chunk_count; ++c) {
      std::uint64_t at_byte = chunks[c - 1];
      for (std::uint32_t s = 0; s < per_chunk && out.offsets.size() < out.sizes.size(); ++s) {
        out.offsets.push_back(at_byte);
        at_byte += out.sizes[out.offsets.size() - 1];
      }
    }
  }
  if (out.offsets.size() != out.sizes.size() || out.description_index == 0) return std::nullopt;
  return out;
}

// A text sample: a 16-bit length and the name, then modifier boxes; the
// encoding box says UTF-8 to readers of the QuickTime form.
byte_buffer text_sample(std::string name, std::uint32_t entry_type) {
  name.resize(qiv::utf8_cut_length(name.data(), name.size(), max_name_bytes));
  byte_buffer out;
  append_u16(out, std::uint32_t(name.size()));
  out += name;
  if (entry_type == fourcc("text")) {
    byte_buffer encoding;
    append_u32(encoding, 0x100);
    append_box(out, fourcc("encd"), encoding);
  }
  return out;
}

// The name a sample holds, as its bytes; none when its length is damaged.
std::optional<std::string> sample_name(const std::string& sample) {
  if (sample.size() < 2) return std::nullopt;
  const std::size_t length = std::size_t(number_at(sample, 0, 2));
  if (length > sample.size() - 2) return std::nullopt;
  return sample.substr(2, length);
}

byte_buffer full_box_payload(std::uint32_t count) {
  byte_buffer out;
  append_u32(out, 0);  // version and flags
  append_u32(out, count);
  return out;
}

// `payload` with the children that `replace` answers for rebuilt, the
// others copied; replace(type, content, out type) gives the new content.
template <class Replace>
byte_buffer rebuilt(std::string_view payload, Replace&& replace) {
  byte_buffer out;
  for_each_child(payload, [&](std::uint32_t type, std::string_view content) {
    std::uint32_t new_type = type;
    const std::optional<byte_buffer> changed = replace(type, content, new_type);
    append_box(out, new_type, changed ? std::string_view(*changed) : content);
  });
  return out;
}

}  // namespace

std::optional<chapter_text_samples> renamed_chapter_text(const std::string& movie, stream& io,
                                                         const std::vector<std::optional<std::string>>& names) {
  std::optional<chapter_text_samples> result;
  try {
    const std::set<std::uint32_t> ids = chapter_track_ids(movie);
    if (ids.empty()) return std::nullopt;
    // Tracks are told apart by their place in the movie: damaged files can
    // give two tracks one ID, and only the text track may be rebuilt.
    std::optional<sample_tables> tables;
    std::size_t track = 0, index = 0;
    for_each_child(movie, [&](std::uint32_t type, std::string_view trak) {
      if (type != fourcc("trak")) return;
      if (!tables && ids.count(track_id(trak)) != 0 && (tables = text_sample_tables(trak))) track = index;
      ++index;
    });
    if (!tables || tables->sizes.size() != names.size()) return std::nullopt;
    const std::uint64_t file_size = io.size();
    chapter_text_samples out;
    out.track = track;
    out.description_index = tables->description_index;
    bool renamed = false;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::uint32_t size = tables->sizes[i];
      const std::uint64_t at = tables->offsets[i];
      if (size > max_sample_bytes || at > file_size || file_size - at < size) return std::nullopt;
      io.seek(at);
      byte_buffer sample = read_sized_text(io, size);
      const std::optional<std::string> current = sample_name(sample);
      if (names[i] && current != names[i]) {
        sample = text_sample(*names[i], tables->entry_type);
        renamed = true;
      }
      out.sizes.push_back(std::uint32_t(sample.size()));
      out.bytes += sample;
    }
    if (renamed) result = std::move(out);
  } catch (const exception&) {
    // Tables that do not parse are another program's damage: the track is
    // left as it is rather than rebuilt from guesses.
    return std::nullopt;
  }
  return result;
}

byte_buffer track_with_chapter_text(std::string_view trak_payload, const chapter_text_samples& samples,
                                    std::uint64_t offset, bool wide) {
  const auto sample_table = [&](std::uint32_t type, std::string_view, std::uint32_t& new_type) -> std::optional<byte_buffer> {
    const std::uint32_t count = std::uint32_t(samples.sizes.size());
    if (type == fourcc("stsz")) {
      byte_buffer out;
      append_u32(out, 0);  // version and flags
      append_u32(out, 0);  // sizes differ
      append_u32(out, count);
      for (std::uint32_t size : samples.sizes) append_u32(out, size);
      return out;
    }
    if (type == fourcc("stsc")) {
      byte_buffer out = full_box_payload(1);
      append_u32(out, 1);  // the first chunk, which holds them all
      append_u32(out, count);
      append_u32(out, samples.description_index);
      return out;
    }
    if (type == fourcc("stco") || type == fourcc("co64")) {
      byte_buffer out = full_box_payload(1);
      new_type = wide ? fourcc("co64") : fourcc("stco");
      if (wide)
        append_u64(out, offset);
      else
        append_u32(out, std::uint32_t(offset));
      return out;
    }
    return std::nullopt;
  };
  const auto inside = [](std::uint32_t wanted, auto&& rebuild) {
    return [wanted, rebuild](std::uint32_t type, std::string_view content, std::uint32_t&) -> std::optional<byte_buffer> {
      if (type != wanted) return std::nullopt;
      return rebuilt(content, rebuild);
    };
  };
  return rebuilt(trak_payload, inside(fourcc("mdia"), inside(fourcc("minf"), inside(fourcc("stbl"), sample_table))));
}

}  // namespace tarnex
