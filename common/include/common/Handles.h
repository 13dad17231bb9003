// Thin owning wrappers over Win32 handles and COM interface pointers.
// One move-only template serves every kind of handle: the traits say what an
// invalid value is and how to close a valid one.
#pragma once

#include "common/Win32.h"

#include <objbase.h>
#include <utility>

template <class Traits>
class TUniqueHandle {
public:
    using handle_type = typename Traits::handle_type;

    TUniqueHandle() noexcept : FHandle(Traits::invalid()) {}
    explicit TUniqueHandle(handle_type h) noexcept : FHandle(h) {}
    ~TUniqueHandle() { reset(); }

    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    TUniqueHandle(TUniqueHandle&& other) noexcept : FHandle(other.release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    handle_type get() const noexcept { return FHandle; }
    bool valid() const noexcept { return FHandle != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    handle_type release() noexcept { return std::exchange(FHandle, Traits::invalid()); }
    void reset(handle_type h = Traits::invalid()) noexcept {
        handle_type old = std::exchange(FHandle, h);
        if (old != Traits::invalid()) Traits::close(old);
    }
    // For APIs that return the handle through an out parameter.
    handle_type* put() noexcept { reset(); return &FHandle; }

private:
    handle_type FHandle;
};

namespace handle_traits {
struct File {  // CreateFile, CreateNamedPipe: INVALID_HANDLE_VALUE on failure
    using handle_type = HANDLE;
    static handle_type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(handle_type h) noexcept { ::CloseHandle(h); }
};
struct Kernel {  // processes, threads, events, mutexes: NULL on failure
    using handle_type = HANDLE;
    static handle_type invalid() noexcept { return nullptr; }
    static void close(handle_type h) noexcept { ::CloseHandle(h); }
};
struct Find {
    using handle_type = HANDLE;
    static handle_type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(handle_type h) noexcept { ::FindClose(h); }
};
struct RegKey {
    using handle_type = HKEY;
    static handle_type invalid() noexcept { return nullptr; }
    static void close(handle_type h) noexcept { ::RegCloseKey(h); }
};
struct Module {
    using handle_type = HMODULE;
    static handle_type invalid() noexcept { return nullptr; }
    static void close(handle_type h) noexcept { ::FreeLibrary(h); }
};
struct GdiObject {
    using handle_type = HGDIOBJ;
    static handle_type invalid() noexcept { return nullptr; }
    static void close(handle_type h) noexcept { ::DeleteObject(h); }
};
}  // namespace handle_traits

using TFileHandle = TUniqueHandle<handle_traits::File>;
using TKernelHandle = TUniqueHandle<handle_traits::Kernel>;
using TFindHandle = TUniqueHandle<handle_traits::Find>;
using TRegKey = TUniqueHandle<handle_traits::RegKey>;
using TModuleHandle = TUniqueHandle<handle_traits::Module>;
using TGdiObject = TUniqueHandle<handle_traits::GdiObject>;

// Owning pointer to a COM interface: Release on destruction, AddRef on copy.
template <class T>
class TComPtr {
public:
    TComPtr() noexcept = default;
    TComPtr(std::nullptr_t) noexcept {}
    // Takes over a reference the caller already holds.
    static TComPtr Attach(T* p) noexcept { TComPtr r; r.FPtr = p; return r; }
    TComPtr(const TComPtr& o) noexcept : FPtr(o.FPtr) { if (FPtr) FPtr->AddRef(); }
    TComPtr(TComPtr&& o) noexcept : FPtr(std::exchange(o.FPtr, nullptr)) {}
    TComPtr& operator=(TComPtr o) noexcept { std::swap(FPtr, o.FPtr); return *this; }
    ~TComPtr() { if (FPtr) FPtr->Release(); }

    T* get() const noexcept { return FPtr; }
    T* operator->() const noexcept { return FPtr; }
    explicit operator bool() const noexcept { return FPtr != nullptr; }
    void reset() noexcept { if (FPtr) { FPtr->Release(); FPtr = nullptr; } }
    T* Detach() noexcept { return std::exchange(FPtr, nullptr); }
    // For APIs that return a new reference through T**.
    T** put() noexcept { reset(); return &FPtr; }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    template <class U>
    HRESULT As(REFIID iid, TComPtr<U>& out) const noexcept {
        return FPtr ? FPtr->QueryInterface(iid, out.put_void()) : E_POINTER;
    }

private:
    T* FPtr = nullptr;
};

// Balanced CoInitializeEx / CoUninitialize for the current thread.
class TComInit {
public:
    explicit TComInit(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : FHr(::CoInitializeEx(nullptr, model)) {}
    ~TComInit() { if (SUCCEEDED(FHr)) ::CoUninitialize(); }
    TComInit(const TComInit&) = delete;
    TComInit& operator=(const TComInit&) = delete;
    HRESULT Result() const noexcept { return FHr; }

private:
    HRESULT FHr;
};

// Owns a BSTR.
class TBStr {
public:
    TBStr() noexcept = default;
    explicit TBStr(const wchar_t* s) : FStr(::SysAllocString(s)) {}
    ~TBStr() { ::SysFreeString(FStr); }
    TBStr(const TBStr&) = delete;
    TBStr& operator=(const TBStr&) = delete;
    TBStr(TBStr&& o) noexcept : FStr(std::exchange(o.FStr, nullptr)) {}
    TBStr& operator=(TBStr&& o) noexcept { std::swap(FStr, o.FStr); return *this; }
    BSTR get() const noexcept { return FStr; }
    BSTR* put() noexcept { ::SysFreeString(FStr); FStr = nullptr; return &FStr; }
    const wchar_t* c_str() const noexcept { return FStr ? FStr : L""; }

private:
    BSTR FStr = nullptr;
};
