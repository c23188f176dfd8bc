// One owner for every kind of handle: a value, the value that means "none", and the call
// that releases it. Move-only; the release runs exactly once, on scope exit or reset.
//   using UniqueKey = UniqueResource<HKEY, decltype(&CloseKey), &CloseKey>;
#pragma once
#include <utility>

namespace kv {

template <typename T, typename Closer, Closer close, T none = T{}>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    T get() const { return value_; }
    explicit operator bool() const { return value_ != none; }
    // For the out parameter of a creating call; releases what was held first.
    T* put() {
        reset();
        return &value_;
    }
    T release() { return std::exchange(value_, none); }
    void reset(T value = none) {
        T old = std::exchange(value_, value);
        if (old != none) close(old);
    }

private:
    T value_ = none;
};

}  // namespace kv
