#include "inputs/wma/temp_copy.h"

#include <windows.h>

#include "foundation/code_page_text.h"
#include "io/file_copy.h"
#include "io/io_exceptions.h"
#include "io/path_schemes.h"

namespace wma {

namespace {

// A creation can lose a race with another program for the name the system
// picked; a few tries cover that, an endless loop would hang the writer.
constexpr int name_attempts = 4;

std::string utf8(const std::wstring& text) { return qiv::utf16_to_utf8(text.data(), text.size()); }

}  // namespace

temp_copy::~temp_copy() {
  if (!path_.empty() && !keep_) DeleteFileW(path_.c_str());
}

void temp_copy::make(vantrel_io::file_object& source, const abort_signal& abort) {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) vantrel_io::throw_last_io_error();
  wchar_t name[MAX_PATH + 1];
  for (int attempt = 0;; ++attempt) {
    // Number 0: the system picks a free name and creates the file.
    if (GetTempFileNameW(folder, L"trolololo", 0, name) != 0) break;
    if (attempt + 1 == name_attempts) vantrel_io::throw_last_io_error();
  }
  path_ = name;

  vantrel_io::file_ptr copy;
  vantrel_io::open(copy, utf8(path_).c_str(), vantrel_io::open_mode::write_existing, abort);
  source.rewind(abort);
  vantrel_io::copy_whole_file(source, *copy, abort);
}

void temp_copy::copy_back(vantrel_io::file_object& destination, const abort_signal& abort) {
  vantrel_io::file_ptr copy;
  vantrel_io::open(copy, utf8(path_).c_str(), vantrel_io::open_mode::read, abort);
  try {
    // Grows the destination before its first byte changes and cuts it to
    // the copy's length at the end: no old tail stays behind a shorter copy.
    vantrel_io::copy_whole_file(*copy, destination, abort);
  } catch (const vantrel_io::exception_aborted&) {
    // The copy stops for an abort only before the destination changed.
    throw;
  } catch (const std::exception& failure) {
    keep_ = true;
    const std::string message = "The new tags could not be copied back into the file (" +
                                std::string(failure.what()) + "); the edited copy is kept at " + utf8(path_);
    throw vantrel_io::exception_io(qiv::copy_message, message.c_str());
  }
}

}  // namespace wma
