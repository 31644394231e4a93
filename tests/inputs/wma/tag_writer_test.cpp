// The tag writer against a stand-in for the runtime's metadata editor (Wine
// has none): which file the editor is given, the working copy's way back
// into a handed-in file, and the named failures that leave the file alone.
#include "inputs/wma/tag_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_header_info.h"
#include "foundation/code_page_text.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"
#include "tests/io/io_test_support.h"

namespace {

// What the editor does to the file it opened when flushed: here it replaces
// the whole file by a shorter one, as a retag that drops attributes would.
class fake_editor : public IWMMetadataEditor {
public:
  fake_header_info header;
  std::wstring opened;
  std::string content_at_open;
  HRESULT flush_result = S_OK;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (IsEqualIID(id, __uuidof(IWMHeaderInfo3))) {
      *out = static_cast<IWMHeaderInfo3*>(&header);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Open(const WCHAR* path) override {
    opened = path;
    content_at_open = io_test::read_file(qiv::utf16_to_utf8(path, wcslen(path)));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Flush() override {
    if (FAILED(flush_result)) return flush_result;
    io_test::write_file(qiv::utf16_to_utf8(opened.data(), opened.size()), "edited");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override { return S_OK; }
};

fake_editor* current_editor = nullptr;
HRESULT editor_result = S_OK;

HRESULT STDMETHODCALLTYPE create_fake_editor(IWMMetadataEditor** out) {
  *out = SUCCEEDED(editor_result) ? current_editor : nullptr;
  return editor_result;
}

class WmaTagWriter : public testing::Test {
protected:
  void SetUp() override {
    io_test::build_registry();
    current_editor = &editor;
    editor_result = S_OK;
    io_test::write_file(folder.path("a.wma"), original);
    vantrel_io::open(file, folder.file_url("a.wma").c_str(), vantrel_io::open_mode::write_existing,
                     io_test::no_abort());
    info.set_field("title", qiv::until_nul, "New", qiv::until_nul);
  }
  std::string write(const std::wstring& native_path) {
    try {
      wma::write_tags(create_fake_editor, native_path, file.get(), info, io_test::no_abort());
    } catch (const vantrel_io::exception_io& failure) {
      return failure.what();
    }
    return "";
  }
  std::string content() {
    file.reset();
    return io_test::read_file(folder.path("a.wma"));
  }

  const std::string original = std::string(4000, 'o');
  io_test::scratch_folder folder;
  vantrel_io::file_ptr file;
  fake_editor editor;
  track_info_impl info;
};

TEST_F(WmaTagWriter, HandedInFileIsEditedInAWorkingCopyAndCopiedBackAtItsNewLength) {
  ASSERT_EQ(write(L""), "");
  EXPECT_EQ(editor.content_at_open, original) << "the working copy holds the whole file";
  EXPECT_EQ(editor.header.calls, std::vector<std::wstring>{L"add Title=New"});
  EXPECT_FALSE(io_test::exists(qiv::utf16_to_utf8(editor.opened.data(), editor.opened.size())))
      << "the working copy is removed";
  EXPECT_EQ(content(), "edited");
}

TEST_F(WmaTagWriter, NativePathIsEditedDirectly) {
  const std::string path = folder.path("a.wma");
  file.reset();
  ASSERT_EQ(write(qiv::utf8_to_utf16(path.data(), path.size())), "");
  EXPECT_EQ(qiv::utf16_to_utf8(editor.opened.data(), editor.opened.size()), path);
  EXPECT_EQ(io_test::read_file(path), "edited");
}

TEST_F(WmaTagWriter, RefusalsAreNamedAndLeaveTheFileAsItWas) {
  editor_result = E_NOTIMPL;
  EXPECT_EQ(write(L"").rfind("WMCreateEditor failed : ", 0), 0u);
  editor_result = S_OK;
  editor.flush_result = E_ACCESSDENIED;
  EXPECT_EQ(write(L"").rfind("IWMMetadataEditor::Flush failed : ", 0), 0u);
  EXPECT_EQ(content(), original);
}

}  // namespace
