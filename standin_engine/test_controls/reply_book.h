// The replies that the host sent to messages injected by a test, kept by message id.
#ifndef STANDIN_ENGINE_REPLY_BOOK_H_
#define STANDIN_ENGINE_REPLY_BOOK_H_

#include <cstddef>
#include <cstdint>

namespace standin {

// A new id, never 0, with no reply yet.
uint32_t OpenReply();
void ForgetReply(uint32_t id);
// Ignored for an id that is not open (forgotten by a reset).
void StoreReply(uint32_t id, const uint8_t* bytes, size_t size);
// -1 while unanswered or unknown.
int64_t ReplySize(uint32_t id);
size_t CopyReply(uint32_t id, uint8_t* buffer, size_t capacity);
void ResetReplies();

}  // namespace standin

#endif  // STANDIN_ENGINE_REPLY_BOOK_H_
