// One owner for every kind of handle: traits name the handle type, the value that means "none"
// and the call that releases it. Move-only; the release runs exactly once, on scope exit or reset.
//   struct KeyTraits { using type = HKEY; static HKEY none() { return nullptr; }
//                      static void close(HKEY k) { RegCloseKey(k); } };
//   using UniqueKey = UniqueHandle<KeyTraits>;
// UniqueResource is the short form for handles whose "none" is a constant expression.
#pragma once
#include <utility>

namespace kv {

template <typename Traits>
class UniqueHandle {
public:
    using type = typename Traits::type;

    UniqueHandle() = default;
    explicit UniqueHandle(type value) : value_(value) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    type get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::none(); }
    // For the out parameter of a creating call; releases what was held first.
    type* put() {
        reset();
        return &value_;
    }
    type release() { return std::exchange(value_, Traits::none()); }
    // Resetting to the value already held keeps it open: closing it would leave a dangling handle.
    void reset(type value = Traits::none()) {
        type old = std::exchange(value_, value);
        if (old != Traits::none() && old != value) Traits::close(old);
    }

private:
    type value_ = Traits::none();
};

template <typename T, typename Closer, Closer closer, T noneValue>
struct FunctionTraits {
    using type = T;
    static constexpr T none() { return noneValue; }
    static void close(T value) { closer(value); }
};

template <typename T, typename Closer, Closer close, T none = T{}>
using UniqueResource = UniqueHandle<FunctionTraits<T, Closer, close, none>>;

}  // namespace kv
