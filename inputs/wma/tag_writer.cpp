#include "inputs/wma/tag_writer.h"

#include "foundation/com_ptr.h"
#include "inputs/wma/header_attributes.h"
#include "inputs/wma/temp_copy.h"
#include "inputs/wma/wma_result.h"

namespace wma {

void write_tags(create_editor_function create_editor, const std::wstring& native_path, vantrel_io::file_object* source,
                const track_info& info, const abort_signal& abort) {
  qiv::com_ptr<IWMMetadataEditor> editor;
  check(create_editor(editor.receive()), "WMCreateEditor");
  temp_copy copy;
  if (native_path.empty()) copy.make(*source, abort);
  check(editor->Open(native_path.empty() ? copy.path().c_str() : native_path.c_str()), "IWMMetadataEditor::Open");
  {
    qiv::com_ptr<IWMHeaderInfo3> header;
    check(editor->QueryInterface(__uuidof(IWMHeaderInfo3), header.receive_void()), "IWMMetadataEditor::QueryInterface");
    write_attributes(*header.get(), info);
  }
  check(editor->Flush(), "IWMMetadataEditor::Flush");
  check(editor->Close(), "IWMMetadataEditor::Close");
  editor.reset();
  if (native_path.empty()) copy.copy_back(*source, abort);
}

}  // namespace wma
