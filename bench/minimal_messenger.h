#ifndef WEFT_BENCH_MINIMAL_MESSENGER_H_
#define WEFT_BENCH_MINIMAL_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "weft_windows.h"

namespace weft_bench {

// The least an in-process engine library's messenger can do: one channel callback, a
// reference count, and the last response kept in a buffer that is reused. It allocates
// nothing per message once the buffer has grown, so the channel layer's allocations are all
// that a round trip counts.
WeftDesktopMessengerRef MinimalMessenger();

// Delivers message to the registered callback as the application's side would.
void InjectMessage(const uint8_t* message, size_t message_size);

// The bytes of the latest response.
const std::vector<uint8_t>& LastResponse();

}  // namespace weft_bench

#endif  // WEFT_BENCH_MINIMAL_MESSENGER_H_
