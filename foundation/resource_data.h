// The bytes of a resource carried in a module (an image, a localisation
// table, a licence text). Windows keeps them mapped as long as the module is
// loaded, so the view needs no freeing.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

class resource_data {
public:
  resource_data(const void* data, std::size_t size) noexcept : data_(data), size_(size) {}

  const void* data() const { return data_; }
  std::size_t size() const { return size_; }

private:
  const void* data_;
  std::size_t size_;
};

// `name` and `type` are texts or integer ids (MAKEINTRESOURCEA, RT_* as
// integers). Null when the module carries no such resource or it cannot be
// loaded.
std::unique_ptr<resource_data> load_resource_data(HMODULE module, const char* name, const char* type);
