#include "core/crash_dump.h"

#include <dbghelp.h>

#include <cstring>

#include "core/crash_dump_memory.h"
#include "foundation/array.h"
#include "foundation/string_object.h"
#include "foundation/utf8.h"

namespace {

using write_dump_function = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

// Room after the folder for "failure-", ten digits, ".dmp" and the NUL.
constexpr std::size_t name_room = 8 + 10 + 4 + 1;

struct dump_target {
  bool enabled = false;
  write_dump_function write_dump = nullptr;
  qiv::array<wchar_t> path;    // folder, backslash, "failure-", then room for the rest
  std::size_t number_at = 0;   // where the number goes
};

dump_target& target() {
  static dump_target instance;
  return instance;
}

// Asked again and again for more memory while it answers TRUE; each answer
// adds one range.
BOOL CALLBACK add_memory(PVOID parameter, const PMINIDUMP_CALLBACK_INPUT input, PMINIDUMP_CALLBACK_OUTPUT output) {
  if (input->CallbackType != MemoryCallback) return TRUE;
  std::uintptr_t base = 0;
  std::uint32_t size = 0;
  if (!static_cast<crash_dump_memory_walk*>(parameter)->next(base, size)) return FALSE;
  output->MemoryBase = base;
  output->MemorySize = size;
  return TRUE;
}

// A dump holds no symbols. Wine's dump writer loads the symbols of every
// module of the process first, unless they are to be loaded on demand: the
// debug information of its own libraries took most of a minute to read there.
void load_symbols_on_demand(HMODULE dbghelp) {
  using get_options_function = DWORD(WINAPI*)();
  using set_options_function = DWORD(WINAPI*)(DWORD);
  const auto get_options = reinterpret_cast<get_options_function>(
      reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymGetOptions")));
  const auto set_options = reinterpret_cast<set_options_function>(
      reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymSetOptions")));
  if (get_options != nullptr && set_options != nullptr) set_options(get_options() | SYMOPT_DEFERRED_LOADS);
}

// Writes the decimal digits of `value` at `out`, answers their count.
std::size_t put_decimal(std::uint32_t value, wchar_t* out) {
  wchar_t reversed[10];
  std::size_t count = 0;
  do {
    reversed[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (std::size_t i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
  return count;
}

}  // namespace

void crash_dump_prepare(const char* profile_path, bool read_only) {
  dump_target& t = target();
  t.enabled = false;
  if (read_only) return;
  if (t.write_dump == nullptr) {
    if (const HMODULE dbghelp = LoadLibraryW(L"dbghelp.dll")) {
      t.write_dump = reinterpret_cast<write_dump_function>(
          reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
      load_symbols_on_demand(dbghelp);
    }
  }
  if (t.write_dump == nullptr) return;

  const char* folder = profile_path;
  if (std::strncmp(folder, "file://", 7) == 0) folder += 7;
  const std::size_t units = qiv::estimate_utf8_to_wide(folder);  // includes the NUL
  t.path.set_size(static_cast<std::uint32_t>(units + 1 + name_room));
  std::size_t length = qiv::convert_utf8_to_wide(t.path.data(), units, folder, qiv::until_nul);
  if (length == 0 || t.path[length - 1] != L'\\') t.path[length++] = L'\\';
  for (const wchar_t* p = L"failure-"; *p != L'\0'; ++p) t.path[length++] = *p;
  t.number_at = length;
  t.enabled = true;
}

namespace {

std::uint32_t write_numbered_dump(dump_target& t, EXCEPTION_POINTERS* pointers) noexcept {
  wchar_t* const path = t.path.data();
  std::uint32_t number = 1;
  for (;; ++number) {
    std::size_t at = t.number_at + put_decimal(number, path + t.number_at);
    for (const wchar_t* p = L".dmp"; *p != L'\0'; ++p) path[at++] = *p;
    path[at] = L'\0';
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) break;
    if (number == 0xFFFFFFFFu) return 0;
  }
  const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;

  MINIDUMP_EXCEPTION_INFORMATION exception = {};
  exception.ThreadId = GetCurrentThreadId();
  exception.ExceptionPointers = pointers;
  exception.ClientPointers = FALSE;
  crash_dump_memory_walk walk(pointers != nullptr ? pointers->ContextRecord : nullptr);
  MINIDUMP_CALLBACK_INFORMATION callback = {};
  callback.CallbackRoutine = add_memory;
  callback.CallbackParam = &walk;
  // The memory that the stacks of all threads point to, and the modules the
  // process had unloaded (a call into one of them is a common crash).
  const auto type = static_cast<MINIDUMP_TYPE>(MiniDumpWithIndirectlyReferencedMemory | MiniDumpWithUnloadedModules);
  t.write_dump(GetCurrentProcess(), GetCurrentProcessId(), file, type, pointers != nullptr ? &exception : nullptr,
               nullptr, &callback);
  CloseHandle(file);
  return number;
}

}  // namespace

std::uint32_t crash_dump_write(EXCEPTION_POINTERS* pointers) noexcept {
  dump_target& t = target();
  if (!t.enabled) return 0;
  // The name is built in one shared buffer: of two threads that crash at
  // once, the second waits for the first dump.
  static volatile LONG writing = 0;
  while (InterlockedCompareExchange(&writing, 1, 0) != 0) Sleep(10);
  const std::uint32_t number = write_numbered_dump(t, pointers);
  InterlockedExchange(&writing, 0);
  return number;
}
