// FunctionRef: a non-owning reference to something callable, for callbacks
// that live no longer than the call they are passed to. Unlike
// std::function it never allocates and has no throwing path (see
// base/string.h for why that matters in the installer program).
#ifndef SFX_BASE_FUNCTION_REF_H_
#define SFX_BASE_FUNCTION_REF_H_

#include <type_traits>
#include <utility>

namespace sfx {

template <typename Signature>
class FunctionRef;

template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
 public:
  template <typename F, typename = std::enable_if_t<
                            !std::is_same_v<std::decay_t<F>, FunctionRef>>>
  FunctionRef(F&& f)  // NOLINT: converts like std::function
      : object_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* object, Args... args) -> R {
          return (*static_cast<std::remove_reference_t<F>*>(object))(
              std::forward<Args>(args)...);
        }) {}

  R operator()(Args... args) const {
    return call_(object_, std::forward<Args>(args)...);
  }

 private:
  void* object_;
  R (*call_)(void*, Args...);
};

}  // namespace sfx

#endif  // SFX_BASE_FUNCTION_REF_H_
