// HandleList. Header: head and tail handles; node: next and item handles.
// Handles are stored at native width.
#include "adt/ll.h"

#include <cstring>

#include "frame/frame.h"

namespace brio {

namespace {

const char kModule[] = "adt/ll";
constexpr size_t kSlot = sizeof(GlobalHandle);

GlobalHandle GetSlot(const void* block, size_t index) {
    GlobalHandle h;
    std::memcpy(&h, static_cast<const unsigned char*>(block) + index * kSlot, kSlot);
    return h;
}

void SetSlot(void* block, size_t index, GlobalHandle h) {
    std::memcpy(static_cast<unsigned char*>(block) + index * kSlot, &h, kSlot);
}

// Reads or writes one slot of a block under its own lock.
GlobalHandle ReadSlot(GlobalHandle block, size_t index) {
    void* p = MemLock(block, kModule, __LINE__);
    if (!p) {
        ReportAssertion(__LINE__, kModule);
        return nullptr;
    }
    GlobalHandle h = GetSlot(p, index);
    MemUnlock(block, kModule, __LINE__);
    return h;
}

bool WriteSlot(GlobalHandle block, size_t index, GlobalHandle value) {
    void* p = MemLock(block, kModule, __LINE__);
    if (!p) {
        ReportAssertion(__LINE__, kModule);
        return false;
    }
    SetSlot(p, index, value);
    MemUnlock(block, kModule, __LINE__);
    return true;
}

}  // namespace

GlobalHandle ListCreate() {
    return MemAlloc(kGhnd, 2 * kSlot, kModule, __LINE__);
}

int ListInsert(GlobalHandle list, const void* item, size_t size, bool atHead) {
    if (size < 1) ReportAssertion(__LINE__, kModule);
    if (!list || size < 1) return 0;
    GlobalHandle itemBlock = MemAlloc(kGhnd, size, kModule, __LINE__);
    if (!itemBlock) return 0;
    GlobalHandle node = MemAlloc(kGhnd, 2 * kSlot, kModule, __LINE__);
    void* itemData = itemBlock && node ? MemLock(itemBlock, kModule, __LINE__) : nullptr;
    void* header = itemData ? MemLock(list, kModule, __LINE__) : nullptr;
    if (!header) {
        if (itemData) MemUnlock(itemBlock, kModule, __LINE__);
        MemFree(node, kModule, __LINE__);
        MemFree(itemBlock, kModule, __LINE__);
        return 0;
    }
    std::memcpy(itemData, item, size);
    MemUnlock(itemBlock, kModule, __LINE__);

    GlobalHandle head = GetSlot(header, 0);
    GlobalHandle tail = GetSlot(header, 1);
    bool linked = WriteSlot(node, 1, itemBlock);
    if (linked && atHead) {
        linked = WriteSlot(node, 0, head);
        if (linked) {
            SetSlot(header, 0, node);
            if (!tail) SetSlot(header, 1, node);
        }
    } else if (linked) {
        linked = tail ? WriteSlot(tail, 0, node) : true;
        if (linked) {
            if (!head) SetSlot(header, 0, node);
            SetSlot(header, 1, node);
        }
    }
    MemUnlock(list, kModule, __LINE__);
    if (!linked) {
        MemFree(node, kModule, __LINE__);
        MemFree(itemBlock, kModule, __LINE__);
        return 0;
    }
    return 1;
}

GlobalHandle ListNext(GlobalHandle list, GlobalHandle node) {
    if (!list) return nullptr;
    return node ? ReadSlot(node, 0) : ReadSlot(list, 0);
}

void* ListLockItem(GlobalHandle node) {
    if (!node) {
        ReportAssertion(__LINE__, kModule);
        return nullptr;
    }
    GlobalHandle item = ReadSlot(node, 1);
    return item ? MemLock(item, kModule, __LINE__) : nullptr;
}

void ListUnlockItem(GlobalHandle node) {
    if (!node) return;
    GlobalHandle item = ReadSlot(node, 1);
    if (item) MemUnlock(item, kModule, __LINE__);
}

void ListFreeNode(GlobalHandle node) {
    if (!node) {
        ReportAssertion(__LINE__, kModule);
        return;
    }
    GlobalHandle item = ReadSlot(node, 1);
    if (item) MemFree(item, kModule, __LINE__);
    MemFree(node, kModule, __LINE__);
}

void ListDestroy(GlobalHandle list) {
    if (!list) return;
    GlobalHandle node = ReadSlot(list, 0);
    while (node) {
        GlobalHandle next = ReadSlot(node, 0);
        ListFreeNode(node);
        node = next;
    }
    MemFree(list, kModule, __LINE__);
}

size_t ListCount(GlobalHandle list) {
    size_t n = 0;
    for (GlobalHandle node = ListNext(list, nullptr); node; node = ListNext(list, node)) ++n;
    return n;
}

}  // namespace brio
