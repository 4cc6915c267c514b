// The one way this program drops a [[nodiscard]] result on purpose. Every call
// that can fail reports it, and none is dropped unseen; where a caller goes on
// whatever happens, it says so with IgnoreFailure rather than a cast to void, so
// each such place can be found and questioned by name.
#pragma once

namespace kovrel::platform {

// Marks a result that is dropped on purpose: a step taken for good measure whose
// failure changes nothing for the caller (putting back a mode or a time after the
// real operation has already succeeded or failed, closing a descriptor on the
// way out), or an outcome that is shown elsewhere.
template <class T> constexpr void IgnoreFailure(const T& result) noexcept {
    static_cast<void>(result);
}

} // namespace kovrel::platform
