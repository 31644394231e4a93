#include "foundation/resource_data.h"

#include "foundation/text_or_resource_id.h"

std::unique_ptr<resource_data> load_resource_data(HMODULE module, const char* name, const char* type) {
  HRSRC resource = FindResourceW(module, text_or_resource_id(name).get(), text_or_resource_id(type).get());
  if (!resource) return nullptr;
  HGLOBAL loaded = LoadResource(module, resource);
  if (!loaded) return nullptr;
  const void* data = LockResource(loaded);
  if (!data) return nullptr;
  const DWORD size = SizeofResource(module, resource);
  if (size == 0) return nullptr;
  return std::make_unique<resource_data>(data, size);
}
