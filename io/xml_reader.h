// A reader for the small subset of XML that the language files use: a
// complete UTF-8 document in memory, elements with double-quoted attributes,
// character data, comments and the five predefined entities plus numeric
// character references. No DTD, CDATA, namespaces or processing instructions
// beyond the leading declaration.
//
// The reader hands one level of the document at a time to a handler: for
// each element its name, attributes and the raw byte range of its content.
// A handler that wants the children reads that range again with another
// handler; elements that nobody descends into are skipped unexamined, so a
// file may carry anything the program does not know.
//
// Every syntax error throws vantrel_io::exception_io_data. A numeric
// reference with a bad digit throws qiv::exception_invalid_params. Exceptions
// of handlers pass through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/avl_tree.h"
#include "foundation/byte_compare.h"
#include "foundation/string_object.h"
#include "foundation/string_small.h"

// Attribute names compare ignoring ASCII case, as element names do.
struct xml_name_order {
  template <class A, class B>
  int operator()(const A& a, const B& b) const {
    return qiv::stricmp_ascii(text_of(a), text_of(b));
  }
  static const char* text_of(const char* text) { return text; }
  static const char* text_of(const qiv::string_object& text) { return text.get_ptr(); }
};

// Decoded attribute names to decoded values.
using xml_attributes = qiv::avl_map<qiv::string_small, qiv::string_small, xml_name_order>;

class xml_handler {
public:
  // One element of the current level. `content` points just past the start
  // tag's ">" and `length` runs up to the "<" of its end tag; for an element
  // written as "<name ... />" the content is null and the length 0.
  virtual void on_element(const char* name, const xml_attributes& attributes, const char* content,
                          std::size_t length) = 0;
  // Character data between tags, raw (decode it with xml_decode_text); never
  // called for an empty run.
  virtual void on_text(const char* text, std::size_t length) = 0;

protected:
  ~xml_handler() = default;
};

// Collects the decoded text of an element that must hold only text (comments
// are dropped); any child element is a data error.
class xml_text_collector final : public xml_handler {
public:
  explicit xml_text_collector(qiv::string_object& output) : output_(output) {}
  void on_element(const char* name, const xml_attributes& attributes, const char* content,
                  std::size_t length) override;
  void on_text(const char* text, std::size_t length) override;

private:
  qiv::string_object& output_;
};

// Checks the declaration ("<?xml " at the very first byte, so no byte-order
// mark; an encoding other than utf-8 is refused), then reads the rest of the
// document as one level.
void xml_read_document(xml_handler& handler, const char* data, std::size_t size);

// Reads one level: on_text for character data, on_element for each element.
void xml_read_content(xml_handler& handler, const char* data, std::size_t size);

// Appends the decoded form of a byte range: entity and character references
// resolved, the UTF-8 checked (a NUL byte or a bad sequence is an error).
void xml_decode_text(qiv::string_object& output, const char* data, std::size_t size);

// The position of the "<" of the end tag that closes an element whose
// content starts at `start`, counting only the nesting of the tags between;
// `name` receives the end tag's decoded name.
std::size_t xml_find_end_tag(const char* data, std::size_t size, std::size_t start, qiv::string_object& name);

// A numeric character reference without its "&" and ";": "#65", "#x41" or
// plain digits "65". False when the text is not one (or its value does not
// fit in 32 bits); a bad digit after a valid start throws
// qiv::exception_invalid_params.
bool xml_parse_char_ref(const char* text, std::size_t length, std::uint32_t& code_point);
