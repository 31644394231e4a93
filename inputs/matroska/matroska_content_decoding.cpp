#include "inputs/matroska/matroska_content_decoding.h"

#include "inputs/matroska/ebml_values.h"
#include "io/io_exceptions.h"

namespace Matroska {

namespace {

constexpr std::uint64_t type_compression = 0;
constexpr std::uint64_t type_encryption = 1;
constexpr std::uint64_t algorithm_header_stripping = 3;

}  // namespace

void matroska_decode_content(std::vector<std::uint8_t>& data, const matroska_track& track, std::uint64_t scope) {
  for (auto at = track.encodings.rbegin(); at != track.encodings.rend(); ++at) {
    const matroska_content_encoding& encoding = at->second;
    if (!(encoding.scope & scope)) continue;
    if (encoding.type == type_encryption) vantrel_io::throw_io_data();
    if (encoding.type != type_compression) continue;
    if (encoding.compression_algorithm != algorithm_header_stripping) vantrel_io::throw_io_data();
    const auto& prefix = encoding.compression_settings;
    // Stripped headers grow every frame; a run of them must stay within what
    // any value of the file may hold.
    if (data.size() + prefix.size() > ebml_max_binary_size) vantrel_io::throw_io_data();
    data.insert(data.begin(), prefix.begin(), prefix.end());
  }
}

}  // namespace Matroska
