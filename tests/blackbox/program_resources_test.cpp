// What zorv.exe carries for its windows: a manifest that asks for Common
// Controls 6 and states its DPI awareness, the program icon and the PNG
// images. The manifest is tried for real: the controls it promises are made
// inside an activation context built from the executable.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "support/program_copy.h"

namespace {

using test_support::built_program;

class loaded_program {
public:
  loaded_program() : module_(LoadLibraryExW(built_program().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~loaded_program() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }
  std::string resource_text(LPCWSTR name, LPCWSTR type) const {
    const HRSRC found = FindResourceW(module_, name, type);
    if (found == nullptr) return {};
    const HGLOBAL data = LoadResource(module_, found);
    return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(module_, found));
  }

private:
  HMODULE module_;
};

TEST(ProgramResources, TheManifestAsksForCommonControlsSixAndStatesDpiAwareness) {
  if (built_program().empty()) GTEST_SKIP() << "ZORV_EXE is not set";
  loaded_program program;
  ASSERT_NE(program.get(), nullptr);
  const std::string manifest = program.resource_text(MAKEINTRESOURCEW(1), RT_MANIFEST);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
  EXPECT_NE(FindResourceW(program.get(), MAKEINTRESOURCEW(263), RT_GROUP_ICON), nullptr);
  for (const int image : {260, 261}) {
    const std::string png = program.resource_text(MAKEINTRESOURCEW(image), L"PNG");
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8)) << image;
  }
}

TEST(ProgramResources, UnderTheManifestSysLinkAndTooltipsWithTheShortToolInfoAreMade) {
  if (built_program().empty()) GTEST_SKIP() << "ZORV_EXE is not set";
  const std::wstring program = built_program();
  ACTCTXW context = {};
  context.cbSize = sizeof(context);
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = program.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(1);
  const HANDLE activation = CreateActCtxW(&context);
  ASSERT_NE(activation, INVALID_HANDLE_VALUE) << GetLastError();
  ULONG_PTR cookie = 0;
  ASSERT_TRUE(ActivateActCtx(activation, &cookie));

  const HMODULE controls = LoadLibraryW(L"comctl32.dll");
  ASSERT_NE(controls, nullptr);
  const auto init = reinterpret_cast<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>(
      reinterpret_cast<void*>(GetProcAddress(controls, "InitCommonControlsEx")));
  ASSERT_NE(init, nullptr);
  const INITCOMMONCONTROLSEX wanted = {sizeof(wanted), ICC_LINK_CLASS | ICC_WIN95_CLASSES};
  EXPECT_TRUE(init(&wanted));

  const HWND owner = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
  const HWND link = CreateWindowExW(0, L"SysLink", L"See <a>the site</a>", WS_CHILD | WS_VISIBLE, 5, 5, 150, 20,
                                    owner, nullptr, nullptr, nullptr);
  EXPECT_NE(link, nullptr) << GetLastError();

  const HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                       owner, nullptr, nullptr, nullptr);
  ASSERT_NE(tooltip, nullptr);
  wchar_t text[] = L"tip";
  TTTOOLINFOW tool = {};
  // The whole structure, lpReserved included (48 bytes in the 32-bit program).
  tool.cbSize = sizeof(tool);
  ASSERT_EQ(tool.cbSize, sizeof(void*) == 4 ? 48u : 72u);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(owner);
  tool.lpszText = text;
  EXPECT_TRUE(SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)));
  EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);

  DestroyWindow(tooltip);
  DestroyWindow(owner);
  DeactivateActCtx(0, cookie);
  ReleaseActCtx(activation);
}

}  // namespace
