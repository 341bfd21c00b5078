#pragma once
// Singly linked lists of untyped items. A list never owns its items.
//
// The list keeps a cursor (the entry last found and its index) so that walking it by
// increasing index costs one step per entry.

#include "isomedia/MP4Base.h"

struct MP4ListEntry {
    MP4ListEntry* next = nullptr;
    void* item = nullptr;
};

struct MP4LinkedListRecord {
    MP4ListEntry* head = nullptr;
    MP4ListEntry* tail = nullptr;
    uint32_t entryCount = 0;
    uint32_t foundEntryIndex = 0xFFFFFFFF;
    MP4ListEntry* foundEntry = nullptr;

    // Range-for over the items, as `for (void* item : *list)`.
    struct iterator {
        MP4ListEntry* entry;
        void* operator*() const { return entry->item; }
        iterator& operator++()
        {
            entry = entry->next;
            return *this;
        }
        bool operator!=(const iterator& other) const { return entry != other.entry; }
    };
    iterator begin() const { return {head}; }
    iterator end() const { return {nullptr}; }
};
using MP4LinkedList = MP4LinkedListRecord*;

MP4Err MP4MakeLinkedList(MP4LinkedList* outList);
// Appends; the cursor moves to the new entry.
MP4Err MP4AddListEntry(void* item, MP4LinkedList list);
// Inserts at the head; the cursor moves to index 0.
MP4Err MP4PrependListEntry(MP4LinkedList list, void* item);
MP4Err MP4GetListEntryCount(MP4LinkedList list, uint32_t* outCount);
// index counts from 0; -2 for an index not below the count.
MP4Err MP4GetListEntry(MP4LinkedList list, uint32_t index, void** outItem);
// Unlinks the first entry holding item (not freed); no match is no error.
MP4Err MP4DeleteListEntryByItem(void* item, MP4LinkedList list);
// Frees the entries and the list, never the items.
MP4Err MP4DeleteLinkedList(MP4LinkedList list);

// Typed access for the library's own lists.
template <class T>
T* MP4ListItem(MP4LinkedList list, uint32_t index)
{
    void* item = nullptr;
    return MP4GetListEntry(list, index, &item) == MP4Success ? static_cast<T*>(item) : nullptr;
}
inline uint32_t MP4ListCount(MP4LinkedList list)
{
    return list != nullptr ? list->entryCount : 0;
}
