// What one decode keeps while it is inside lists and maps: how deep it is, and the elements of
// the lists it has not finished. It belongs to the reader the decode reads from, so that two
// decodes on one thread keep apart even when they interleave (fibers), and a decode on another
// reader, also one started from inside this decode, counts its own depth.
#ifndef WEFT_CODEC_DECODE_STATE_H_
#define WEFT_CODEC_DECODE_STATE_H_

#include <cstddef>
#include <deque>
#include <iterator>
#include <optional>
#include <utility>

#include "weft/byte_streams.h"
#include "weft/encodable_value.h"

namespace weft {

class DecodeState {
 public:
  class Container;
  class PendingElements;

  DecodeState() = default;
  DecodeState(const DecodeState&) = delete;
  DecodeState& operator=(const DecodeState&) = delete;

  // Lists and maps that the decode reading from stream is inside of.
  static size_t DepthOf(const ByteStreamReader& stream) {
    return stream.decode_ == nullptr ? 0 : stream.decode_->depth_;
  }

 private:
  static DecodeState*& Of(ByteStreamReader* stream) { return stream->decode_; }

  size_t depth_ = 0;
  // Made by the first list: an empty deque already allocates.
  std::optional<std::deque<EncodableValue>> pending_;
};

// Enters one list or map of the decode that reads from stream. The outermost one starts the
// decode, owns its state and takes it off the reader when it is left, by a return or an
// exception alike.
class DecodeState::Container {
 public:
  explicit Container(ByteStreamReader* stream) : stream_(stream) {
    if (Of(stream) == nullptr) {
      Of(stream) = &owned_.emplace();
    }
    ++Of(stream)->depth_;
  }
  ~Container() {
    --Of(stream_)->depth_;
    if (owned_) {
      Of(stream_) = nullptr;
    }
  }

  Container(const Container&) = delete;
  Container& operator=(const Container&) = delete;

  DecodeState& state() const { return *Of(stream_); }

 private:
  ByteStreamReader* stream_;
  std::optional<DecodeState> owned_;
};

// The elements that one list has collected so far; dropped if the list is left by an exception.
// A list collects its elements here and moves them into a vector of exactly their number once
// it is complete, so that a declared count reserves nothing and no list's storage is ever grown:
// what a list holds is what its own bytes made, and at most twice that is alive at any moment.
// The blocks of a deque never move, so a nested list's elements pile up above its enclosing
// list's.
class DecodeState::PendingElements {
 public:
  explicit PendingElements(DecodeState& state)
      : pending_(state.pending_ ? *state.pending_ : state.pending_.emplace()),
        base_(pending_.size()) {}
  ~PendingElements() { pending_.resize(base_); }

  PendingElements(const PendingElements&) = delete;
  PendingElements& operator=(const PendingElements&) = delete;

  void Add(EncodableValue value) { pending_.push_back(std::move(value)); }

  ValueList Take() {
    const auto first = pending_.begin() + static_cast<std::ptrdiff_t>(base_);
    ValueList list(std::make_move_iterator(first), std::make_move_iterator(pending_.end()));
    pending_.resize(base_);
    return list;
  }

 private:
  std::deque<EncodableValue>& pending_;
  size_t base_;
};

}  // namespace weft

#endif  // WEFT_CODEC_DECODE_STATE_H_
