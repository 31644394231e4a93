#include "core/single_instance.h"

#include <windows.h>

#include <cstring>

#include "core/app_state.h"
#include "core/callback_guard.h"
#include "core/command_line_processing.h"
#include "core/profile_identity.h"
#include "foundation/array.h"
#include "foundation/case_folding.h"
#include "foundation/list.h"
#include "foundation/string_buffer.h"
#include "foundation/win32_text.h"

namespace single_instance {

namespace {

constexpr wchar_t window_class[] = L"{75D55AF6-03A2-457a-9933-D4EC2CB25684}";
constexpr wchar_t window_title[] = L"uninteresting";

// The messages of the hand-over. A starting process asks every window of the
// class for its identity to find the instance of its own profile.
constexpr UINT message_identity = WM_USER;
constexpr UINT message_run_received = WM_USER + 1;
constexpr ULONG_PTR payload_command_line = 1;   // command line, NUL, directory, NUL
constexpr ULONG_PTR payload_is_program = 2;     // UTF-16 path: is it this program?

constexpr std::size_t longest_path_units = 32767;  // what Windows allows in any path

constexpr int attempts_before_giving_up = 300;
constexpr DWORD wait_between_attempts_ms = 100;
// An instance makes its window right after the mutex and destroys it only at
// the very end of its shutdown, after which the process ends at once: one
// that holds the mutex with no window this long has hung on its way out.
constexpr DWORD windowless_give_up_ms = 5000;
// An instance idle in its message loop answers within milliseconds; one that
// is busy is asked again on the next attempt.
constexpr DWORD identity_timeout_ms = 1000;
constexpr DWORD hand_over_timeout_ms = 5000;
constexpr DWORD minimum_message_wait_ms = 100;

struct received_payload : qiv::list_node<received_payload> {
  ULONG_PTR kind = 0;
  qiv::byte_array bytes;
};

struct instance_state {
  HWND window = nullptr;
  std::uint32_t identity = 0;
  HANDLE mutex = nullptr;  // held until the process ends
  qiv::list<received_payload> received;
};

instance_state& state() {
  static instance_state instance;
  return instance;
}

instance_state* instance_state_of(HWND window) {
  return reinterpret_cast<instance_state*>(GetWindowLongPtrW(window, 0));
}

// The payload arrives from any process that cares to send one: it is read
// only through a copy of its stated length. A terminator the sender counted
// in ends the text.
bool names_this_program(const COPYDATASTRUCT& data) {
  const std::size_t units = data.cbData / sizeof(wchar_t);
  if (units > longest_path_units) return false;  // no path, and not worth copying
  qiv::array<wchar_t> copy;
  copy.set_size(static_cast<std::uint32_t>(units + 1));
  if (units > 0) std::memcpy(copy.data(), data.lpData, units * sizeof(wchar_t));
  copy[static_cast<std::uint32_t>(units)] = L'\0';
  qiv::string_buffer sent;
  wide_to_utf8(copy.data(), units, sent);
  qiv::string_buffer own;
  if (get_module_file_name_utf8(own) == 0) return false;
  return qiv::compare_nocase(sent.get_ptr(), own.get_ptr()) == 0;
}

LRESULT on_copy_data(HWND window, instance_state* s, const COPYDATASTRUCT& data) {
  // Refusing lets the sender try again until start-up (or shutdown) is over,
  // instead of dropping its command line.
  if (s == nullptr || !app::state().registry_ready) return FALSE;
  if (data.dwData == payload_is_program) return names_this_program(data) ? TRUE : FALSE;
  qiv::ref_ptr<received_payload> record(new received_payload);
  record->kind = data.dwData;
  if (data.cbData > 0) record->bytes.assign(data.lpData, data.cbData);
  s->received.push_back(record.get());
  // The sender waits inside SendMessage: answer at once and do the work on
  // this instance's own loop.
  PostMessageW(window, message_run_received, 0, 0);
  return TRUE;
}

// "command line NUL directory NUL", nothing else.
bool split_command_line_payload(const received_payload& record, const char*& text, const char*& directory) {
  if (record.kind != payload_command_line) return false;
  const std::uint32_t size = record.bytes.get_count();
  if (size < 2 || record.bytes[size - 1] != 0) return false;
  std::uint32_t zeros = 0;
  for (std::uint8_t byte : record.bytes)
    if (byte == 0) ++zeros;
  if (zeros != 2) return false;
  text = reinterpret_cast<const char*>(record.bytes.data());
  directory = text + std::strlen(text) + 1;
  return true;
}

void run_received(instance_state* s) {
  if (s == nullptr) return;
  qiv::list<received_payload> batch;
  while (received_payload* first = s->received.first()) {
    qiv::ref_ptr<received_payload> keep(first);
    s->received.remove(first);
    batch.push_back(first);
  }
  for (received_payload* record = batch.first(); record != nullptr; record = record->next()) {
    const char* text = nullptr;
    const char* directory = nullptr;
    if (s->window == nullptr || !split_command_line_payload(*record, text, directory)) continue;
    command_line::process(text, false, directory);
  }
}

LRESULT CALLBACK instance_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return guard_callback<LRESULT>(0, [&]() -> LRESULT {
    switch (message) {
    case WM_CREATE:
      SetWindowLongPtrW(window, 0,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
      return DefWindowProcW(window, message, wparam, lparam);
    case message_identity: {
      const instance_state* s = instance_state_of(window);
      return s != nullptr ? static_cast<LRESULT>(s->identity) : 0;
    }
    case WM_COPYDATA:
      return on_copy_data(window, instance_state_of(window), *reinterpret_cast<const COPYDATASTRUCT*>(lparam));
    case message_run_received:
      run_received(instance_state_of(window));
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
    }
  });
}

// Every window of the class, whatever its profile. Collected first and asked
// afterwards, so that no message is sent from inside the enumeration.
BOOL CALLBACK collect_instance_window(HWND window, LPARAM parameter) noexcept {
  wchar_t name[256];
  if (GetClassNameW(window, name, 256) != 0 && std::wcscmp(name, window_class) == 0) {
    try {
      reinterpret_cast<qiv::array<HWND>*>(parameter)->append(window);
    } catch (...) {
      return FALSE;
    }
  }
  return TRUE;
}

// Whatever the other side does (hung, suspended, stopped in a debugger), a
// message to it returns in time: the start must keep its own bound.
bool send_bounded(HWND window, UINT message, LPARAM lparam, DWORD timeout_ms, DWORD_PTR& answer) {
  answer = 0;
  return SendMessageTimeoutW(window, message, 0, lparam, SMTO_ABORTIFHUNG, timeout_ms, &answer) != 0;
}

class start_deadline {
public:
  explicit start_deadline(DWORD length_ms) : start_(GetTickCount64()), length_ms_(length_ms) {}
  bool passed() const { return remaining_ms() == 0; }
  // A message may take at most `cap`, and never much past the deadline.
  DWORD timeout_ms(DWORD cap) const {
    const DWORD left = remaining_ms();
    return left < minimum_message_wait_ms ? minimum_message_wait_ms : (left < cap ? left : cap);
  }

private:
  DWORD remaining_ms() const {
    const ULONGLONG spent = GetTickCount64() - start_;
    return spent >= length_ms_ ? 0 : static_cast<DWORD>(length_ms_ - spent);
  }
  ULONGLONG start_;
  DWORD length_ms_;
};

struct instance_search {
  HWND window = nullptr;     // the instance of this profile
  bool unanswered = false;   // some window did not answer: it may be this profile's, busy
};

// A window of another profile that does not answer costs one bounded wait,
// after which the windows behind it are still asked.
instance_search find_instance_window(std::uint32_t identity, const start_deadline& deadline) {
  instance_search found;
  qiv::array<HWND> windows;
  EnumWindows(collect_instance_window, reinterpret_cast<LPARAM>(&windows));
  for (HWND window : windows) {
    DWORD_PTR answer = 0;
    if (!send_bounded(window, message_identity, 0, deadline.timeout_ms(identity_timeout_ms), answer)) {
      found.unanswered = true;
    } else if (static_cast<std::uint32_t>(answer) == identity) {
      found.window = window;
      return found;
    }
  }
  return found;
}

enum class hand_over_result { taken, refused, unanswered };

hand_over_result hand_over(HWND window, const start_deadline& deadline) {
  qiv::string_buffer text;
  get_command_line_utf8(text);
  qiv::string_buffer directory;
  if (!get_current_directory_utf8(directory)) return hand_over_result::unanswered;
  qiv::byte_array payload;
  payload.assign(text.get_ptr(), static_cast<std::uint32_t>(text.get_length() + 1));
  payload.grow_by(directory.get_ptr(), static_cast<std::uint32_t>(directory.get_length() + 1));

  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  if (process_id != 0) AllowSetForegroundWindow(process_id);  // it may come to the front

  COPYDATASTRUCT data;
  data.dwData = payload_command_line;
  data.cbData = payload.get_count();
  data.lpData = payload.data();
  DWORD_PTR answer = 0;
  // Not sent again after a timeout: the instance may yet carry it out, and a
  // command line must never run twice.
  if (!send_bounded(window, WM_COPYDATA, reinterpret_cast<LPARAM>(&data), deadline.timeout_ms(hand_over_timeout_ms),
                    answer))
    return hand_over_result::unanswered;
  // FALSE: the instance is still starting or already ending; ask again later.
  return answer == TRUE ? hand_over_result::taken : hand_over_result::refused;
}

void create_window(instance_state& s) {
  const HINSTANCE instance = app::state().instance_handle;
  WNDCLASSW window_class_data = {};
  window_class_data.lpfnWndProc = instance_window_procedure;
  window_class_data.cbWndExtra = sizeof(LONG_PTR);
  window_class_data.hInstance = instance;
  window_class_data.lpszClassName = window_class;
  SetLastError(0);
  if (RegisterClassW(&window_class_data) == 0) throw_last_win32_error();
  s.window = CreateWindowExW(0, window_class, window_title, 0, 0, 0, 0, 0, nullptr, nullptr, instance, &s);
  if (s.window == nullptr) {
    const DWORD error = GetLastError();
    UnregisterClassW(window_class, instance);
    SetLastError(error);
    throw_last_win32_error();
  }
}

}  // namespace

start_result check() {
  destroy();
  instance_state& s = state();
  s.identity = profile_identity(profile::get_path());
  wchar_t mutex_name[profile_mutex_name_size];
  profile_mutex_name(s.identity, mutex_name);

  const start_deadline deadline(attempts_before_giving_up * wait_between_attempts_ms);
  ULONGLONG windowless_since = 0;  // 0 while the instance's window may exist
  for (int attempt = 0;; ++attempt) {
    SetLastError(0);
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, mutex_name);
    if (mutex == nullptr) throw_last_win32_error();
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      s.mutex = mutex;
      break;
    }
    CloseHandle(mutex);
    // The instance may be starting (no window yet) or ending (window gone,
    // mutex still held); both pass, so ask again a little later.
    const instance_search search = find_instance_window(s.identity, deadline);
    if (search.window != nullptr || search.unanswered) {
      windowless_since = 0;
    } else if (windowless_since == 0) {
      windowless_since = GetTickCount64();
    } else if (GetTickCount64() - windowless_since >= windowless_give_up_ms) {
      return start_result::not_handed_over;
    }
    if (const HWND window = search.window) {
      switch (hand_over(window, deadline)) {
      case hand_over_result::taken:
        return start_result::handed_over;
      case hand_over_result::unanswered:
        return start_result::not_handed_over;
      case hand_over_result::refused:
        break;
      }
    }
    if (attempt >= attempts_before_giving_up || deadline.passed()) return start_result::not_handed_over;
    Sleep(wait_between_attempts_ms);
  }
  create_window(s);
  return start_result::first_instance;
}

void process_own_command_line() {
  if (state().window == nullptr) return;
  qiv::string_buffer text;
  get_command_line_utf8(text);
  qiv::string_buffer directory;
  if (!get_current_directory_utf8(directory)) return;
  command_line::process(text.get_ptr(), true, directory.get_ptr());
}

void destroy() {
  instance_state& s = state();
  if (s.window != nullptr) {
    const HWND window = s.window;
    s.window = nullptr;
    DestroyWindow(window);
    UnregisterClassW(window_class, app::state().instance_handle);
  }
  s.received.clear();
}

}  // namespace single_instance
