// Move-only owners for the Win32 and COM resources the program holds, so
// that no path can skip a CloseHandle, Release or CoTaskMemFree.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace orvik {

// A kernel handle whose "no handle" value is INVALID_HANDLE_VALUE, as
// CreateFile returns it.
class ScopedFileHandle {
 public:
  explicit ScopedFileHandle(HANDLE handle = INVALID_HANDLE_VALUE)
      : handle_(handle) {}
  ~ScopedFileHandle() { Close(); }
  ScopedFileHandle(ScopedFileHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  ScopedFileHandle& operator=(ScopedFileHandle&&) = delete;
  ScopedFileHandle(const ScopedFileHandle&) = delete;
  ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes now and tells whether the system accepted it.
  bool Close() {
    if (!valid()) return true;
    const BOOL closed = ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
    return closed != FALSE;
  }

 private:
  HANDLE handle_;
};

// A kernel handle whose "no handle" value is null, as OpenProcessToken,
// CreateMutex and CreateProcess give it.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr; }

 private:
  void Close() {
    if (handle_ != nullptr) ::CloseHandle(std::exchange(handle_, nullptr));
  }

  HANDLE handle_;
};

// A search of FindFirstFile, closed with FindClose.
class ScopedFindHandle {
 public:
  explicit ScopedFindHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedFindHandle() {
    if (valid()) ::FindClose(handle_);
  }
  ScopedFindHandle(const ScopedFindHandle&) = delete;
  ScopedFindHandle& operator=(const ScopedFindHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// An interface pointer that is released exactly once.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // For out-parameters: releases what is held first.
  T** put() {
    Reset();
    return &ptr_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void Reset() {
    if (ptr_ != nullptr) std::exchange(ptr_, nullptr)->Release();
  }

 private:
  T* ptr_ = nullptr;
};

// Memory the shell hands out with CoTaskMemAlloc (item-id lists).
template <typename T>
class ScopedCoMem {
 public:
  ScopedCoMem() = default;
  ~ScopedCoMem() { ::CoTaskMemFree(ptr_); }
  ScopedCoMem(const ScopedCoMem&) = delete;
  ScopedCoMem& operator=(const ScopedCoMem&) = delete;
  T* get() const { return ptr_; }
  T** put() {
    ::CoTaskMemFree(std::exchange(ptr_, nullptr));
    return &ptr_;
  }

 private:
  T* ptr_ = nullptr;
};

}  // namespace orvik
