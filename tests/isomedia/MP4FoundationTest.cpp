// Handles, lists and input streams: the pieces every atom stands on.
#include "isomedia/MP4Handle.h"
#include "isomedia/MP4InputStream.h"
#include "isomedia/MP4LinkedList.h"

#include <gtest/gtest.h>

TEST(MP4Foundation, HandleShrunkAndGrownAgainKeepsItsBlock)
{
    MP4Handle handle = nullptr;
    ASSERT_EQ(MP4NewHandle(16, &handle), MP4Success);
    char* block = handle->data;
    ASSERT_EQ(MP4SetHandleSize(handle, 4), MP4Success);
    EXPECT_EQ(handle->allocatedSize, 16u);
    ASSERT_EQ(MP4SetHandleSize(handle, 16), MP4Success);
    EXPECT_EQ(handle->data, block);
    uint32_t size = 0;
    EXPECT_EQ(MP4GetHandleSize(handle, &size), MP4Success);
    EXPECT_EQ(size, 16u);
    MP4HandleRecord forged;
    EXPECT_EQ(MP4GetHandleSize(&forged, &size), MP4BadParameter);
    EXPECT_EQ(MP4DisposeHandle(handle), MP4Success);
}

TEST(MP4Foundation, ListIndexesAndDeletesByItem)
{
    MP4LinkedList list = nullptr;
    ASSERT_EQ(MP4MakeLinkedList(&list), MP4Success);
    int a = 1, b = 2, c = 3, stranger = 4;
    MP4AddListEntry(&a, list);
    MP4AddListEntry(&b, list);
    MP4PrependListEntry(list, &c);
    void* item = nullptr;
    EXPECT_EQ(MP4GetListEntry(list, 3, &item), MP4BadParameter);
    ASSERT_EQ(MP4GetListEntry(list, 2, &item), MP4Success);
    EXPECT_EQ(item, &b);
    ASSERT_EQ(MP4GetListEntry(list, 0, &item), MP4Success);
    EXPECT_EQ(item, &c);
    EXPECT_EQ(MP4DeleteListEntryByItem(&stranger, list), MP4Success);
    EXPECT_EQ(MP4ListCount(list), 3u);
    EXPECT_EQ(MP4DeleteListEntryByItem(&a, list), MP4Success);
    ASSERT_EQ(MP4GetListEntry(list, 1, &item), MP4Success);
    EXPECT_EQ(item, &b);
    MP4AddListEntry(&a, list);
    ASSERT_EQ(MP4GetListEntry(list, 2, &item), MP4Success);
    EXPECT_EQ(item, &a);
    MP4DeleteLinkedList(list);
}

TEST(MP4Foundation, StreamReadsBigEndianAndNeverPastTheEnd)
{
    char bytes[] = {0x12, 0x34, 0x56, 0x78, 0x01, 0x02, 0x03};
    MP4InputStream stream = nullptr;
    ASSERT_EQ(MP4CreateMemoryInputStream(bytes, sizeof bytes, &stream), MP4Success);
    uint32_t value = 0;
    ASSERT_EQ(stream->read32(&value, nullptr), MP4Success);
    EXPECT_EQ(value, 0x12345678u);
    EXPECT_EQ(stream->read32(&value, nullptr), MP4InputOutputError);
    EXPECT_EQ(stream->getStreamOffset(), 4u);
    ASSERT_EQ(stream->read16(&value, nullptr), MP4Success);
    EXPECT_EQ(value, 0x0102u);
    EXPECT_EQ(stream->readData(0, nullptr, nullptr), MP4Success);
    stream->destroy();
}

TEST(MP4Foundation, FileURLPrefixesAreDropped)
{
    EXPECT_STREQ(MP4StripFileURLPrefix("file:///tmp/a.m4a"), "/tmp/a.m4a");
    EXPECT_STREQ(MP4StripFileURLPrefix("file|///tmp/a.m4a"), "/tmp/a.m4a");
    EXPECT_STREQ(MP4StripFileURLPrefix("/tmp/a.m4a"), "/tmp/a.m4a");
    MP4FileMappingObject mapping = nullptr;
    EXPECT_EQ(MP4CreateFileMappingObjectForURL("file:///no/such/file.m4a", &mapping), MP4FileNotFound);
}
