#include "inputs/wma/file_stream.h"

#include <cstring>
#include <new>
#include <utility>

#include "core/abort_signal.h"
#include "io/io_exceptions.h"

namespace wma {

namespace {

// No exception may leave a COM method: the runtime's frames are between it
// and any handler.
template <class Work>
HRESULT guarded(Work&& work) noexcept {
  try {
    return work();
  } catch (const vantrel_io::exception_io_no_length&) {
    return STG_E_INVALIDFUNCTION;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return STG_E_READFAULT;
  }
}

class file_stream final : public IStream {
public:
  explicit file_stream(vantrel_io::file_ptr file) : file_(std::move(file)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_ISequentialStream) || IsEqualIID(id, IID_IStream)) {
      *out = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
    return guarded([&] {
      const std::uint32_t got = file_->read(buffer, count, never_raised_abort_signal());
      if (read) *read = got;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    return guarded([&] {
      const abort_signal& abort = never_raised_abort_signal();
      std::int64_t base = 0;
      switch (origin) {
        case STREAM_SEEK_SET: break;
        case STREAM_SEEK_CUR: base = static_cast<std::int64_t>(file_->get_position(abort)); break;
        case STREAM_SEEK_END: base = static_cast<std::int64_t>(file_->get_size(abort)); break;
        default: return E_INVALIDARG;
      }
      const std::int64_t target = base + move.QuadPart;
      if (target < 0) return STG_E_INVALIDFUNCTION;
      file_->seek(static_cast<std::uint64_t>(target), abort);
      if (position) position->QuadPart = static_cast<ULONGLONG>(target);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* record, DWORD flag) override {
    if (!record) return E_POINTER;
    if (flag != STATFLAG_NONAME) return E_INVALIDARG;
    return guarded([&] {
      const std::uint64_t size = file_->get_size(never_raised_abort_signal());
      if (size == vantrel_io::filesize_unknown) throw vantrel_io::exception_io_no_length();
      std::memset(record, 0, sizeof(*record));
      record->type = STGTY_STREAM;
      record->cbSize.QuadPart = size;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
  ~file_stream() = default;

  vantrel_io::file_ptr file_;
  LONG references_ = 1;
};

}  // namespace

IStream* make_file_stream(vantrel_io::file_ptr file) { return new file_stream(std::move(file)); }

}  // namespace wma
