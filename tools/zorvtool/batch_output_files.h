// Where a batch puts each command's output and errors: two files the caller
// names when it starts the batch, emptied for each command. While a command
// runs, the process's descriptors 1 and 2 (and so C stdio and the standard
// handles) write into them, so what a library prints itself lands in the
// answer as it lands in a lone run's output, and what a command wrote before
// the process died stays there for the caller. Standard output itself
// carries only the ready line and the answer lines.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tools/zorvtool/batch_line.h"

class batch_output_files {
public:
  // Made before the batch sets its own output's mode: the commands write in
  // the mode a lone run's output has (text or binary).
  batch_output_files(const wchar_t* out_path, const wchar_t* err_path)
      : paths_{out_path, err_path}, own_{_dup(1), _dup(2)}, modes_{mode_of(1), mode_of(2)} {}
  ~batch_output_files() {
    for (const int own : own_)
      if (own >= 0) _close(own);
  }
  batch_output_files(const batch_output_files&) = delete;
  batch_output_files& operator=(const batch_output_files&) = delete;

  // Empties the files and points descriptors 1 and 2 at them; false when
  // one cannot be opened.
  bool begin() {
    for (int i = 0; i < 2; ++i) {
      const int file = _wopen(paths_[i].c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
      const bool pointed = file >= 0 && _dup2(file, i + 1) == 0 && _setmode(i + 1, modes_[i]) != -1;
      if (file >= 0) _close(file);
      if (!pointed) {
        restore();
        return false;
      }
    }
    return true;
  }

  // Writes out what C stdio still holds, points the descriptors back at the
  // batch's own and answers with the command's exit code.
  void answer(int status) {
    restore();
    const std::string line = batch_line::answer_line(status);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
  }

private:
  static int mode_of(int descriptor) {
    const int mode = _setmode(descriptor, _O_BINARY);
    if (mode == -1) return _O_BINARY;
    _setmode(descriptor, mode);
    return mode;
  }

  void restore() {
    std::fflush(stdout);
    std::fflush(stderr);
    _dup2(own_[0], 1);
    _dup2(own_[1], 2);
  }

  const std::wstring paths_[2];
  const int own_[2];
  const int modes_[2];
};
