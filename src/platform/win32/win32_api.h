// The Windows headers as every file of the Win32 front end takes them, and
// owners for the handles it creates: each handle is closed by the one object
// that holds it.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <memory>
#include <type_traits>

namespace velk2 {

struct GdiObjectCloser {
    void operator()(HGDIOBJ object) const {
        if (object) DeleteObject(object);
    }
};
struct WindowCloser {
    void operator()(HWND window) const {
        if (window) DestroyWindow(window);
    }
};
struct KeyCloser {
    void operator()(HKEY key) const {
        if (key) RegCloseKey(key);
    }
};
struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
struct DcCloser {
    void operator()(HDC dc) const {
        if (dc) DeleteDC(dc);
    }
};

using OwnedFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectCloser>;
using OwnedBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectCloser>;
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowCloser>;
using OwnedKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;
using OwnedHandle = std::unique_ptr<void, HandleCloser>;
using OwnedDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcCloser>;

// A COM interface pointer released by its holder.
template <class T> class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** put() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

  private:
    T* p_ = nullptr;
};

} // namespace velk2
