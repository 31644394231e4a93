// Where each name first stands in a long list of a record's fields (or of
// its technical entries): a reader adds one field per name it meets, and
// with thousands of names a lookup that compared the name with every field
// before it made reading a tag cost the square of its size. Names match with
// ASCII letters folded, as everywhere in track_info. The index holds
// positions only; the record gives the names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Whether a stored name and the first `length` bytes of `name` (up to a NUL)
// match with ASCII letters folded. Tag formats define their keys in ASCII,
// and folding other letters would merge names a tagger keeps apart.
bool field_names_match(const std::string& stored, const char* name, std::size_t length) noexcept;

class field_name_index {
public:
  static constexpr std::uint32_t not_found = ~std::uint32_t(0);

  // The names of a record's list by position.
  class names {
  public:
    virtual const std::string& name_at(std::uint32_t position) const = 0;

  protected:
    ~names() = default;
  };

  // Empty: the record finds names by comparing them one by one.
  bool empty() const noexcept { return slots_.empty(); }
  void clear() noexcept;
  // Indexes positions 0..count-1 afresh. Without memory for it the index is
  // left empty, which only makes lookups slower.
  void rebuild(const names& record, std::uint32_t count) noexcept;
  // Indexes the position past all indexed ones, unless an earlier field
  // has its name; growing, it rebuilds.
  void add(const names& record, std::uint32_t position) noexcept;
  // The first position holding the name; not_found.
  std::uint32_t find(const names& record, const char* name, std::size_t length) const noexcept;

  void swap(field_name_index& other) noexcept;

private:
  struct slot {
    std::uint32_t hash;
    std::uint32_t position;  // not_found: free
  };
  // The slot holding the name, else the free slot where it would go.
  std::size_t probe(const names& record, const char* name, std::size_t length, std::uint32_t hash) const noexcept;
  void insert(const names& record, std::uint32_t position) noexcept;

  std::vector<slot> slots_;  // a power of two, at most half of them used
  std::uint32_t used_ = 0;
};
