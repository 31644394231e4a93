// Walking the child boxes of a payload already in memory, for writers that
// copy or rebuild a box child by child.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "inputs/mp4/box_header.h"
#include "inputs/mp4/memory_stream.h"

namespace tarnex {

// visit(type, content) for each child box in `payload`, in order, the
// content a view into `payload`; a header that does not fit is "invalid
// box/atom header".
template <class Visit>
void for_each_child(std::string_view payload, Visit&& visit) {
  memory_stream in(payload.data(), payload.size());
  std::uint64_t consumed = 0;
  while (consumed < payload.size()) {
    const box_header header = read_child_header(in, payload.size() - consumed);
    const std::size_t start = std::size_t(in.position());
    visit(header.type, payload.substr(start, std::size_t(header.content_size)));
    in.skip_exact(header.content_size);
    consumed += header.header_size + header.content_size;
  }
}

}  // namespace tarnex
