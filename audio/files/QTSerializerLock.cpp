#include "audio/files/QTSerializerLock.h"

std::recursive_mutex& QTSerializerLock::sharedSerializer()
{
    static std::recursive_mutex serializer;
    return serializer;
}
