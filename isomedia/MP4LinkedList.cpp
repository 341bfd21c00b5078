#include "isomedia/MP4LinkedList.h"

#include <new>

MP4Err MP4MakeLinkedList(MP4LinkedList* outList)
{
    if (outList == nullptr)
        return MP4BadParameter;
    auto* list = new (std::nothrow) MP4LinkedListRecord;
    if (list == nullptr)
        return MP4OutOfMemory;
    *outList = list;
    return MP4Success;
}

MP4Err MP4AddListEntry(void* item, MP4LinkedList list)
{
    if (list == nullptr)
        return MP4BadParameter;
    auto* entry = new (std::nothrow) MP4ListEntry;
    if (entry == nullptr)
        return MP4OutOfMemory;
    entry->item = item;
    if (list->tail != nullptr)
        list->tail->next = entry;
    else
        list->head = entry;
    list->tail = entry;
    list->foundEntry = entry;
    list->foundEntryIndex = list->entryCount;
    list->entryCount++;
    return MP4Success;
}

MP4Err MP4PrependListEntry(MP4LinkedList list, void* item)
{
    if (list == nullptr)
        return MP4BadParameter;
    auto* entry = new (std::nothrow) MP4ListEntry;
    if (entry == nullptr)
        return MP4OutOfMemory;
    entry->item = item;
    entry->next = list->head;
    list->head = entry;
    if (list->tail == nullptr)
        list->tail = entry;
    list->entryCount++;
    list->foundEntry = entry;
    list->foundEntryIndex = 0;
    return MP4Success;
}

MP4Err MP4GetListEntryCount(MP4LinkedList list, uint32_t* outCount)
{
    if (list == nullptr || outCount == nullptr)
        return MP4BadParameter;
    *outCount = list->entryCount;
    return MP4Success;
}

MP4Err MP4GetListEntry(MP4LinkedList list, uint32_t index, void** outItem)
{
    if (list == nullptr || outItem == nullptr || index >= list->entryCount)
        return MP4BadParameter;
    MP4ListEntry* entry = list->head;
    uint32_t at = 0;
    if (list->foundEntry != nullptr && list->foundEntryIndex != 0xFFFFFFFF && list->foundEntryIndex <= index) {
        entry = list->foundEntry;
        at = list->foundEntryIndex;
    }
    while (at < index) {
        entry = entry->next;
        at++;
    }
    list->foundEntry = entry;
    list->foundEntryIndex = index;
    *outItem = entry->item;
    return MP4Success;
}

MP4Err MP4DeleteListEntryByItem(void* item, MP4LinkedList list)
{
    if (list == nullptr)
        return MP4BadParameter;
    if (item == nullptr)
        return MP4Success;
    MP4ListEntry* previous = nullptr;
    for (MP4ListEntry* entry = list->head; entry != nullptr; previous = entry, entry = entry->next) {
        if (entry->item != item)
            continue;
        if (previous != nullptr)
            previous->next = entry->next;
        else
            list->head = entry->next;
        if (list->tail == entry)
            list->tail = previous;
        delete entry;
        list->entryCount--;
        // The cursor moves to the tail, whose index is known.
        list->foundEntry = list->tail;
        list->foundEntryIndex = list->tail != nullptr ? list->entryCount - 1 : 0xFFFFFFFF;
        return MP4Success;
    }
    return MP4Success;
}

MP4Err MP4DeleteLinkedList(MP4LinkedList list)
{
    if (list == nullptr)
        return MP4BadParameter;
    MP4ListEntry* entry = list->head;
    while (entry != nullptr) {
        MP4ListEntry* next = entry->next;
        delete entry;
        entry = next;
    }
    delete list;
    return MP4Success;
}
