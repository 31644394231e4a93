// The base of every element handler: the child loop hands each child of a
// master element to on_element with the reader scoped to the child's content.
// Children a handler does not read are skipped whole by the loop, so a
// handler ignores an ID simply by returning.
#pragma once

#include <cstdint>

#include "inputs/matroska/ebml_reader.h"

namespace Matroska {

class ebml_element_handler {
public:
  virtual ~ebml_element_handler() = default;

  virtual void on_begin(ebml_reader&) {}
  // `id` has its length-marker bit cleared (see ebml_elements.h).
  virtual void on_element(std::uint32_t /*id*/, std::uint64_t /*size*/, ebml_reader&) {}
  virtual void on_end() {}
  virtual bool wants_more() { return true; }
  // True where the data may end inside this element (a file cut short): a
  // child that claims more bytes than are left is handed over scoped to what
  // is there, so on_element sees a size above reader.remaining(), and a child
  // header cut by the end ends the loop. Otherwise, and for a child of
  // unknown size, both are exception_io_data.
  virtual bool reads_cut_data() { return false; }

  // Set when this handler's child loop has run to its end; a second run of a
  // once-only element checks it.
  bool done = false;
  // File position of the ID of the child being handled.
  std::uint64_t element_start = 0;
};

// Narrows the reader to one element's content and restores the parent's
// bytes left when it ends, also when an exception passes.
class ebml_element_scope {
public:
  // An element larger than what is left of its parent (every unknown-size
  // element among them) is exception_io_data.
  ebml_element_scope(ebml_reader& reader, std::uint64_t size) : reader_(reader) {
    reader.check_available(size);
    saved_ = reader.remaining() - size;
    reader.set_remaining(size);
  }
  ~ebml_element_scope() { reader_.set_remaining(reader_.remaining() + saved_); }
  ebml_element_scope(const ebml_element_scope&) = delete;
  ebml_element_scope& operator=(const ebml_element_scope&) = delete;

private:
  ebml_reader& reader_;
  std::uint64_t saved_;
};

}  // namespace Matroska
