// HandleList: a singly linked list whose header, nodes and items are
// movable global-memory blocks, locked only while an operation runs.
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace brio {

GlobalHandle ListCreate();
// Copies `size` bytes into a new item at the tail (or the head); 1 on
// success, 0 when the list is 0 or memory ran out (nothing is kept then).
int ListInsert(GlobalHandle list, const void* item, size_t size, bool atHead = false);
// The head when `node` is 0, else its successor; 0 at the end.
GlobalHandle ListNext(GlobalHandle list, GlobalHandle node);
// The node's item, locked until ListUnlockItem.
void* ListLockItem(GlobalHandle node);
void ListUnlockItem(GlobalHandle node);
// Frees an unlinked node with its item.
void ListFreeNode(GlobalHandle node);
// Frees every node, every item and the header; 0 does nothing.
void ListDestroy(GlobalHandle list);
size_t ListCount(GlobalHandle list);

}  // namespace brio
