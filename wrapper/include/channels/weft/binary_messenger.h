#ifndef WEFT_BINARY_MESSENGER_H_
#define WEFT_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

namespace weft {

// Takes reply bytes: the application's reply to a sent message, or, handed to a handler, the
// response to an incoming message. A type-erased, copyable callable; an empty one means that
// no reply is wanted, and calling it does nothing.
//
// Unlike std::function it keeps every small callable that moves without throwing in place,
// so that the response sender made for each incoming message costs no heap allocation.
class ReplyCallback {
  static constexpr size_t kInlineSize = 3 * sizeof(void*);
  static constexpr size_t kInlineAlignment = alignof(void*);

 public:
  // Whether a callable of this type is kept in place rather than on the heap.
  template <typename Callable>
  static constexpr bool kStoredInPlace = std::is_nothrow_move_constructible_v<Callable> &&
                                         (sizeof(Callable) <= kInlineSize) &&
                                         (alignof(Callable) <= kInlineAlignment);

  ReplyCallback() noexcept = default;
  // Implicit, as for std::function: nullptr stands for "no reply wanted".
  // cppcheck-suppress noExplicitConstructor
  ReplyCallback(std::nullptr_t) noexcept {}

  template <
      typename Callable, typename Target = std::decay_t<Callable>,
      typename = std::enable_if_t<!std::is_same_v<Target, ReplyCallback> &&
                                  std::is_invocable_r_v<void, Target&, const uint8_t*, size_t>>>
  // Implicit, as for std::function, so that a lambda passes where a callback is taken.
  // cppcheck-suppress noExplicitConstructor
  ReplyCallback(Callable&& callable) {
    if constexpr (std::is_pointer_v<Target>) {
      Target pointer = callable;
      if (pointer != nullptr) {
        Emplace<Target>(pointer);
      }
    } else {
      Emplace<Target>(std::forward<Callable>(callable));
    }
  }

  ReplyCallback(const ReplyCallback& other) {
    if (other.operations_ == nullptr) {
      return;
    }
    other.operations_->copy(other.storage_, storage_);
    operations_ = other.operations_;
  }

  ReplyCallback(ReplyCallback&& other) noexcept { TakeOver(other); }

  ReplyCallback& operator=(const ReplyCallback& other) {
    if (this != &other) {
      *this = ReplyCallback(other);
    }
    return *this;
  }

  ReplyCallback& operator=(ReplyCallback&& other) noexcept {
    if (this != &other) {
      Reset();
      TakeOver(other);
    }
    return *this;
  }

  ReplyCallback& operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  ~ReplyCallback() { Reset(); }

  explicit operator bool() const noexcept { return operations_ != nullptr; }

  void operator()(const uint8_t* data, size_t data_size) const {
    if (operations_ == nullptr) {
      return;
    }
    operations_->invoke(storage_, data, data_size);
  }

 private:
  struct Operations {
    void (*invoke)(void* target, const uint8_t* data, size_t data_size);
    void (*copy)(const void* source, void* destination);
    // Moves the target into destination and ends it at source.
    void (*relocate)(void* source, void* destination) noexcept;
    void (*destroy)(void* target) noexcept;
  };

  template <typename Target>
  struct InPlace {
    static Target& Get(void* storage) { return *std::launder(static_cast<Target*>(storage)); }
    static const Target& Get(const void* storage) {
      return *std::launder(static_cast<const Target*>(storage));
    }
    static void Invoke(void* storage, const uint8_t* data, size_t data_size) {
      Get(storage)(data, data_size);
    }
    static void Copy(const void* source, void* destination) {
      ::new (destination) Target(Get(source));
    }
    static void Relocate(void* source, void* destination) noexcept {
      Target& target = Get(source);
      ::new (destination) Target(std::move(target));
      target.~Target();
    }
    static void Destroy(void* storage) noexcept { Get(storage).~Target(); }
    static constexpr Operations kOperations{&Invoke, &Copy, &Relocate, &Destroy};
  };

  // The storage holds only a pointer to the target.
  template <typename Target>
  struct OnHeap {
    static Target*& Get(void* storage) { return *std::launder(static_cast<Target**>(storage)); }
    static Target* Get(const void* storage) {
      return *std::launder(static_cast<Target* const*>(storage));
    }
    static void Invoke(void* storage, const uint8_t* data, size_t data_size) {
      (*Get(storage))(data, data_size);
    }
    static void Copy(const void* source, void* destination) {
      ::new (destination) Target*(new Target(*Get(source)));
    }
    static void Relocate(void* source, void* destination) noexcept {
      ::new (destination) Target*(Get(source));
    }
    static void Destroy(void* storage) noexcept { delete Get(storage); }
    static constexpr Operations kOperations{&Invoke, &Copy, &Relocate, &Destroy};
  };

  template <typename Target, typename Callable>
  void Emplace(Callable&& callable) {
    if constexpr (kStoredInPlace<Target>) {
      ::new (static_cast<void*>(storage_)) Target(std::forward<Callable>(callable));
      operations_ = &InPlace<Target>::kOperations;
    } else {
      ::new (static_cast<void*>(storage_)) Target*(new Target(std::forward<Callable>(callable)));
      operations_ = &OnHeap<Target>::kOperations;
    }
  }

  void TakeOver(ReplyCallback& other) noexcept {
    if (other.operations_ == nullptr) {
      return;
    }
    other.operations_->relocate(other.storage_, storage_);
    operations_ = other.operations_;
    other.operations_ = nullptr;
  }

  void Reset() noexcept {
    const Operations* operations = operations_;
    if (operations == nullptr) {
      return;
    }
    operations_ = nullptr;
    operations->destroy(storage_);
  }

  // Mutable because a call may change the target's state (a response handle used up), as
  // a call through a const std::function may.
  alignas(kInlineAlignment) mutable unsigned char storage_[kInlineSize];
  const Operations* operations_ = nullptr;
};

// Takes the bytes of one incoming message, valid only during the call, and the callback that
// answers it, which it owns. An empty handler means that the channel's handler is removed.
using BinaryHandler =
    std::function<void(const uint8_t* message, size_t message_size, ReplyCallback reply)>;

// Carries byte messages between the host and the application over named channels.
class BinaryMessenger {
 public:
  BinaryMessenger() = default;
  virtual ~BinaryMessenger() = default;

  BinaryMessenger(const BinaryMessenger&) = delete;
  BinaryMessenger& operator=(const BinaryMessenger&) = delete;

  // Sends message on channel. A non-empty reply receives the application's reply once; it is
  // never called when the engine refuses the message.
  virtual void SendBytes(const std::string& channel, const uint8_t* message, size_t message_size,
                         ReplyCallback reply) const = 0;
  // Makes handler receive every message on channel, replacing an earlier one; an empty
  // handler removes the channel's handler.
  virtual void SetChannelHandler(const std::string& channel, BinaryHandler handler) = 0;
};

}  // namespace weft

#endif  // WEFT_BINARY_MESSENGER_H_
