// The Windows Media runtime ("wmvcore.dll"), loaded from the system folder
// when a WMA file is opened: the system holds no WMA decoder of its own. The
// entry points can be replaced by a test, which builds its own doubles of the
// runtime's interfaces (Wine's runtime enumerates no attributes and has no
// metadata editor).
#pragma once

#include <windows.h>
#include <wmsdkidl.h>

namespace wma {

using create_sync_reader_function = HRESULT(STDMETHODCALLTYPE*)(IUnknown* certificate, DWORD rights,
                                                                IWMSyncReader** reader);
using create_editor_function = HRESULT(STDMETHODCALLTYPE*)(IWMMetadataEditor** editor);

struct runtime_entry_points {
  create_sync_reader_function create_sync_reader = nullptr;
  create_editor_function create_editor = nullptr;
};

class runtime {
public:
  runtime() = default;
  ~runtime() { unload(); }
  runtime(const runtime&) = delete;
  runtime& operator=(const runtime&) = delete;

  // Loads the module anew (one already held is freed first). A missing or
  // unloadable module throws exception_io "WMA support requires Windows Media
  // runtime libraries installed".
  void load();
  void unload() noexcept;
  // Keeps the module loaded for good: a thread stuck inside it must not see
  // it unloaded.
  void abandon() noexcept { module_ = nullptr; replacement_ = nullptr; }
  // A missing entry point throws exception_io "WMA support requires a newer
  // version of Windows Media runtime libraries installed".
  create_sync_reader_function sync_reader_entry() const;
  create_editor_function editor_entry() const;

private:
  FARPROC find(const char* name) const;

  HMODULE module_ = nullptr;
  const runtime_entry_points* replacement_ = nullptr;
};

// For tests only: the entry points every later load answers with, instead of
// the system's module; null restores the module. Not thread-safe: set it
// before the objects under test are opened.
void replace_runtime_for_tests(const runtime_entry_points* entry_points) noexcept;

}  // namespace wma
