/* brioutil host API: lets a host without a system clipboard exchange the
 * CF_DIB block (a packed device-independent bitmap) with the library. On
 * Windows the same calls work over the real clipboard. */
#ifndef BRIOUTIL_HOST_H
#define BRIOUTIL_HOST_H

#include <stddef.h>
#include <stdint.h>

#include "brioutil.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Replaces the clipboard content with a copy of the block. 0 on success. */
BRIOUTIL_EXPORT int32_t BrioHostClipboardSetDib(const void* block, size_t size);
/* Copies at most capacity bytes of the CF_DIB block into buffer; returns the
 * block's full size, 0 when the clipboard holds none. */
BRIOUTIL_EXPORT size_t BrioHostClipboardGetDib(void* buffer, size_t capacity);
/* Empties the clipboard. */
BRIOUTIL_EXPORT void BrioHostClipboardClear(void);

#ifdef __cplusplus
}
#endif

#endif /* BRIOUTIL_HOST_H */
