/* brioutil host API, for programs that link the library (the shared library
 * on Linux, the static one on both): the CF_DIB block (a packed
 * device-independent bitmap) exchanged with the clipboard the library uses,
 * and the library's safe file replacement. On Windows the clipboard calls
 * work over the real clipboard. BRIOUTIL.dll exports none of these. */
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
/* Nonzero: the library's clipboard calls and the three above use a clipboard
 * of the process's own instead of the system one, so a host's bitmaps
 * neither replace the user's clipboard nor meet another process's. Zero
 * returns to the system clipboard and drops the private block. Where there
 * is no system clipboard the clipboard is the process's own already. */
BRIOUTIL_EXPORT void BrioHostClipboardUsePrivate(int32_t on);

/* Writes size bytes as the file at path, so that a failed or interrupted
 * write never leaves a truncated file in place of the old one: a regular
 * file is replaced through a new temporary file beside it, flushed to disk
 * and renamed over it with the old file's mode; a symbolic link at path is
 * followed; a file that must keep its identity (a device, a pipe, a file
 * with other hard links) is written in place and its old bytes put back
 * when the write fails. 0 (BRIO_OK), 2002 (BRIO_ERR_CREATE_OUTPUT: the file
 * cannot be created or opened; errno says why), 2006 (BRIO_ERR_WRITE: a
 * write, the flush or the rename failed; the old file is as it was) or 2005
 * (no memory). */
BRIOUTIL_EXPORT int32_t BrioHostReplaceFile(const char* path, const void* data, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* BRIOUTIL_HOST_H */
