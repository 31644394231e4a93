#include "io/xml_reader.h"

#include <cstring>

#include "foundation/exceptions.h"
#include "foundation/utf8.h"
#include "io/io_exceptions.h"

namespace {

// A document that declares another encoding: a data error with its own fixed
// text, which is not taken from the language table.
class exception_xml_encoding final : public vantrel_io::exception_io_data {
public:
  exception_xml_encoding()
      : vantrel_io::exception_io_data(vantrel_io::io_message(nullptr, "Heathen character encodings not supported")) {}
};

[[noreturn]] void syntax_error() { throw vantrel_io::exception_io_data(); }

bool is_white(char byte) { return static_cast<unsigned char>(byte) <= 0x20; }

bool is_ascii_alnum(char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
}

// Position of the first `byte` in [from, end), or end.
std::size_t find_byte(const char* data, std::size_t from, std::size_t end, char byte) {
  if (from >= end) return end;
  const void* found = std::memchr(data + from, byte, end - from);
  return found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : end;
}

bool starts_with(const char* data, std::size_t size, std::size_t at, const char* text) {
  const std::size_t length = std::strlen(text);
  return at <= size && size - at >= length && std::memcmp(data + at, text, length) == 0;
}

// `at` is the "<" of "<!--"; answers the position after the closing "-->".
// The first "--" inside must be that closing mark.
std::size_t skip_comment(const char* data, std::size_t size, std::size_t at) {
  for (std::size_t p = at + 4; p + 1 < size; ++p) {
    if (data[p] == '-' && data[p + 1] == '-') {
      if (p + 2 >= size || data[p + 2] != '>') syntax_error();
      return p + 3;
    }
  }
  syntax_error();
}

struct entity {
  const char* name;
  char value;
};

constexpr entity entities[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"apos", '\''}, {"quot", '"'}};

bool find_entity(const char* name, std::size_t length, char& value) {
  for (const entity& e : entities) {
    if (std::strlen(e.name) == length && qiv::stricmp_ascii_n(e.name, length, name, length) == 0) {
      value = e.value;
      return true;
    }
  }
  return false;
}

int digit_value(char byte, std::uint32_t base) {
  if (byte >= '0' && byte <= '9') return byte - '0';
  if (base == 16 && byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
  if (base == 16 && byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
  return -1;
}

// The attributes of a start tag's inner part after its name.
void read_attributes(const char* data, std::size_t from, std::size_t end, xml_attributes& attributes) {
  std::size_t p = from;
  for (;;) {
    while (p < end && is_white(data[p])) ++p;
    if (p >= end) return;
    const std::size_t equals = find_byte(data, p, end, '=');
    if (equals == end || equals == p) syntax_error();
    std::size_t name_end = equals;
    while (name_end > p && is_white(data[name_end - 1])) --name_end;
    std::size_t q = equals + 1;
    while (q < end && is_white(data[q])) ++q;
    if (q >= end || data[q] != '"') syntax_error();
    const std::size_t value_start = q + 1;
    const std::size_t value_end = find_byte(data, value_start, end, '"');
    if (value_end == end) syntax_error();

    qiv::string_small name;
    xml_decode_text(name, data + p, name_end - p);
    if (attributes.find(name)) syntax_error();
    qiv::string_small value;
    xml_decode_text(value, data + value_start, value_end - value_start);
    attributes.insert(name).node->value = std::move(value);
    p = value_end + 1;
  }
}

}  // namespace

bool xml_parse_char_ref(const char* text, std::size_t length, std::uint32_t& code_point) {
  if (length == 0) return false;
  std::size_t p;
  if (text[0] == '#') {
    p = 1;
  } else if (text[0] >= '0' && text[0] <= '9') {
    p = 0;
  } else {
    return false;
  }
  std::uint32_t base = 10;
  if (p < length && (text[p] == 'x' || text[p] == 'X')) {
    base = 16;
    ++p;
  }
  if (p >= length) return false;
  std::uint64_t value = 0;
  for (; p < length; ++p) {
    const int digit = digit_value(text[p], base);
    if (digit < 0) qiv::throw_invalid_params();
    value = value * base + static_cast<std::uint32_t>(digit);
    if (value > 0xFFFFFFFFu) return false;
  }
  code_point = static_cast<std::uint32_t>(value);
  return true;
}

void xml_decode_text(qiv::string_object& output, const char* data, std::size_t size) {
  std::size_t run = 0;  // start of the bytes not yet appended
  std::size_t p = 0;
  while (p < size) {
    const unsigned char byte = static_cast<unsigned char>(data[p]);
    if (byte >= 0x01 && byte < 0x80 && byte != '&') {
      ++p;  // plain ASCII needs no decoding
      continue;
    }
    if (byte != '&') {
      std::uint32_t ignored;
      const std::size_t length = qiv::utf8_decode_char_n(data + p, size - p, ignored);
      if (length == 0) syntax_error();  // a NUL byte or a bad sequence
      p += length;
      continue;
    }
    if (p > run) output.add_string(data + run, p - run);
    const std::size_t semicolon = find_byte(data, p + 1, size, ';');
    if (semicolon == size) syntax_error();
    const char* reference = data + p + 1;
    const std::size_t reference_length = semicolon - p - 1;
    std::uint32_t code_point = 0;
    char value = 0;
    if (xml_parse_char_ref(reference, reference_length, code_point)) {
      // Code point 0 and values beyond 31 bits have no encoding: such a
      // reference leaves nothing behind.
      if (code_point != 0) {
        char encoded[qiv::utf8_max_sequence];
        const std::size_t length = qiv::utf8_encode_char(code_point, encoded);
        if (length != 0) output.add_string(encoded, length);
      }
    } else if (find_entity(reference, reference_length, value)) {
      output.add_string(&value, 1);
    } else {
      syntax_error();
    }
    p = run = semicolon + 1;
  }
  if (p > run) output.add_string(data + run, p - run);
}

std::size_t xml_find_end_tag(const char* data, std::size_t size, std::size_t start, qiv::string_object& name) {
  std::size_t depth = 0;
  std::size_t p = start;
  for (;;) {
    const std::size_t open = find_byte(data, p, size, '<');
    if (open >= size || open + 1 == size) syntax_error();
    if (starts_with(data, size, open, "<!--")) {
      p = skip_comment(data, size, open);
      continue;
    }
    const std::size_t close = find_byte(data, open + 1, size, '>');
    if (close == size) syntax_error();
    if (data[open + 1] == '/') {
      if (depth == 0) {
        std::size_t name_end = close;
        while (name_end > open + 2 && is_white(data[name_end - 1])) --name_end;
        name.set_string("");
        xml_decode_text(name, data + open + 2, name_end - open - 2);
        return open;
      }
      --depth;
    } else if (data[close - 1] != '/') {
      ++depth;
    }
    p = close + 1;
  }
}

void xml_read_content(xml_handler& handler, const char* data, std::size_t size) {
  std::size_t p = 0;
  std::size_t text_start = 0;
  while (p < size) {
    const std::size_t open = find_byte(data, p, size, '<');
    if (open == size) break;
    if (open > text_start) handler.on_text(data + text_start, open - text_start);

    if (starts_with(data, size, open, "<!--")) {
      p = text_start = skip_comment(data, size, open);
      continue;
    }

    const std::size_t close = find_byte(data, open + 1, size, '>');
    if (close == size) syntax_error();
    const std::size_t inner = open + 1;
    std::size_t inner_end = close;
    const bool empty_element = inner_end > inner && data[inner_end - 1] == '/';
    if (empty_element) --inner_end;
    if (inner_end == inner) syntax_error();

    std::size_t name_end = inner;
    while (name_end < inner_end && !is_white(data[name_end])) {
      if (data[name_end] == '/' || data[name_end] == '<') syntax_error();  // a stray end tag among others
      ++name_end;
    }
    if (name_end == inner) syntax_error();
    qiv::string_small name;
    xml_decode_text(name, data + inner, name_end - inner);

    xml_attributes attributes;
    read_attributes(data, name_end, inner_end, attributes);

    if (empty_element) {
      handler.on_element(name.get_ptr(), attributes, nullptr, 0);
      p = text_start = close + 1;
      continue;
    }

    const std::size_t content = close + 1;
    qiv::string_small end_name;
    const std::size_t end_tag = xml_find_end_tag(data, size, content, end_name);
    if (!qiv::stricmp_ascii_equal(name.get_ptr(), end_name.get_ptr())) syntax_error();
    handler.on_element(name.get_ptr(), attributes, data + content, end_tag - content);
    const std::size_t end_close = find_byte(data, end_tag, size, '>');
    if (end_close == size) syntax_error();
    p = text_start = end_close + 1;
  }
  if (text_start < size) handler.on_text(data + text_start, size - text_start);
}

void xml_read_document(xml_handler& handler, const char* data, std::size_t size) {
  if (size < 6 || std::memcmp(data, "<?xml ", 6) != 0) syntax_error();

  xml_attributes declaration;
  std::size_t p = 6;
  for (;;) {
    while (p < size && is_white(data[p])) ++p;
    if (p >= size) syntax_error();
    if (data[p] == '?') break;
    const std::size_t name_start = p;
    while (p < size && is_ascii_alnum(data[p])) ++p;
    if (p == name_start || p + 1 >= size || data[p] != '=' || data[p + 1] != '"') syntax_error();
    const std::size_t value_start = p + 2;
    const std::size_t value_end = find_byte(data, value_start, size, '"');
    if (value_end == size) syntax_error();
    qiv::string_small value;
    xml_decode_text(value, data + value_start, value_end - value_start);
    const qiv::string_small name(data + name_start, p - name_start);
    declaration.insert(name).node->value = std::move(value);  // a repeated name replaces the earlier value
    p = value_end + 1;
  }
  if (p + 1 >= size || data[p + 1] != '>') syntax_error();
  p += 2;
  while (p < size && is_white(data[p])) ++p;

  if (const auto* encoding = declaration.find("encoding")) {
    if (!qiv::stricmp_ascii_equal(encoding->value.get_ptr(), "utf-8")) throw exception_xml_encoding();
  }
  xml_read_content(handler, data + p, size - p);
}

void xml_text_collector::on_element(const char*, const xml_attributes&, const char*, std::size_t) { syntax_error(); }

void xml_text_collector::on_text(const char* text, std::size_t length) { xml_decode_text(output_, text, length); }
