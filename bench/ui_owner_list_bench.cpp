// The owner-drawn list with 10,000 items against the system list view with
// the same items, in the same process: painting a full window (per item
// drawn), hit-testing (per point), and selecting and scrolling the whole
// list. Run under the test session's display:
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_ui_owner_list.exe
#include "bench/bench_clock.h"
#include "bench/text_list_source.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ui/controls/owner_list.h"

namespace {

constexpr int item_count = 10000;
constexpr int paint_rounds = 50;
constexpr int hit_rounds = 200000;


// Seconds per round of painting the whole client area into a memory bitmap.
double paint_seconds(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  const double start = bench::now_seconds();
  for (int i = 0; i < paint_rounds; ++i)
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
  GdiFlush();
  const double seconds = (bench::now_seconds() - start) / paint_rounds;
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return seconds;
}

void report(const char* what, double ours, double peer, const char* unit) {
  std::printf("%s: %.3f %s, system list view %.3f %s, ratio %.2f\n", what, ours, unit, peer, unit, ours / peer);
}

}  // namespace

int main() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  const HWND parent = CreateWindowExW(0, L"#32770", L"Owner list bench", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 820,
                                      640, nullptr, nullptr, nullptr, nullptr);
  const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

  std::vector<std::wstring> texts;
  for (int i = 0; i < item_count; ++i) texts.push_back(L"Artist " + std::to_wstring(i % 977) + L" - Album " + std::to_wstring(i));
  bench::text_list_source source;
  source.texts = &texts;
  owner_list list(&source);
  const RECT half_left = {0, 0, 400, 600};
  const double load_start = bench::now_seconds();
  const HWND ours = list.create(parent, half_left, 1);
  SendMessageW(ours, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  const double load_ours = bench::now_seconds() - load_start;

  const double peer_load_start = bench::now_seconds();
  const HWND peer = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_LIST | LVS_SHOWSELALWAYS, 410, 0,
                                    400, 600, parent, nullptr, nullptr, nullptr);
  SendMessageW(peer, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageW(peer, LVM_SETITEMCOUNT, item_count, 0);
  SendMessageW(peer, WM_SETREDRAW, FALSE, 0);
  for (int i = 0; i < item_count; ++i) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = texts[i].data();
    SendMessageW(peer, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  SendMessageW(peer, WM_SETREDRAW, TRUE, 0);
  const double load_peer = bench::now_seconds() - peer_load_start;
  report("load 10,000 items", load_ours * 1000, load_peer * 1000, "ms");

  // Paint: per item drawn, everything selected (the costliest face).
  list.select_all(true);
  LVITEMW all = {};
  all.state = all.stateMask = LVIS_SELECTED;
  SendMessageW(peer, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
  const owner_list_layout& layout = list.layout();
  const int ours_drawn = layout.rows * ((400 + layout.cell_width - 1) / layout.cell_width);
  const int peer_drawn = static_cast<int>(SendMessageW(peer, LVM_GETCOUNTPERPAGE, 0, 0));
  report("paint per item drawn", paint_seconds(ours) * 1e6 / ours_drawn, paint_seconds(peer) * 1e6 / peer_drawn,
         "us");

  // Hit-test per point, over the whole window.
  volatile int sink = 0;
  double start = bench::now_seconds();
  for (int i = 0; i < hit_rounds; ++i) {
    const POINT point = {(i * 37) % 400, (i * 53) % 600};
    sink = sink + owner_list_exact_hit(layout, item_count, point, list.scroll_position());
  }
  const double hit_ours = (bench::now_seconds() - start) / hit_rounds;
  start = bench::now_seconds();
  for (int i = 0; i < hit_rounds / 100; ++i) {
    LVHITTESTINFO hit = {};
    hit.pt = {(i * 37) % 400, (i * 53) % 600};
    sink = sink + static_cast<int>(SendMessageW(peer, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  }
  const double hit_peer = (bench::now_seconds() - start) / (hit_rounds / 100);
  report("hit-test per point", hit_ours * 1e9, hit_peer * 1e9, "ns");

  // Keyboard walk to the end and back: selection changes plus scrolling.
  start = bench::now_seconds();
  SendMessageW(ours, WM_KEYDOWN, VK_HOME, 0);
  for (int i = 0; i < 1000; ++i) SendMessageW(ours, WM_KEYDOWN, VK_DOWN, 0);
  SendMessageW(ours, WM_KEYDOWN, VK_END, 0);
  const double walk_ours = bench::now_seconds() - start;
  start = bench::now_seconds();
  SendMessageW(peer, WM_KEYDOWN, VK_HOME, 0);
  for (int i = 0; i < 1000; ++i) SendMessageW(peer, WM_KEYDOWN, VK_DOWN, 0);
  SendMessageW(peer, WM_KEYDOWN, VK_END, 0);
  const double walk_peer = bench::now_seconds() - start;
  report("1,000 Down keys and End", walk_ours * 1000, walk_peer * 1000, "ms");

  DestroyWindow(parent);
  return sink == 42 ? 1 : 0;
}
