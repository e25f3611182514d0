// A small owning pointer for reference-counted interfaces: one reference per ComPtr.
#pragma once

#include <utility>

#include "WindowsTypes.h"

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes over a reference the caller already owns (as returned by a Create* call).
  static ComPtr Adopt(T* raw) {
    ComPtr p;
    p.raw_ = raw;
    return p;
  }
  // Adds a reference of its own.
  static ComPtr Share(T* raw) {
    if (raw) raw->AddRef();
    return Adopt(raw);
  }
  ComPtr(const ComPtr& other) : raw_(other.raw_) {
    if (raw_) raw_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(raw_, other.raw_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() {
    if (T* old = std::exchange(raw_, nullptr)) old->Release();
  }
  T* Get() const { return raw_; }
  T* operator->() const { return raw_; }
  T& operator*() const { return *raw_; }
  explicit operator bool() const { return raw_ != nullptr; }

  // For out parameters of Create* and Get* calls: releases what is held, then exposes the slot.
  T** ReleaseAndGetAddressOf() {
    Reset();
    return &raw_;
  }
  // Hands the reference to the caller.
  T* Detach() { return std::exchange(raw_, nullptr); }

 private:
  T* raw_ = nullptr;
};
