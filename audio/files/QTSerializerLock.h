#pragma once
// The one process-wide recursive lock that serialises the work of the movie reader and the
// movie writer (opening a movie, starting and ending a movie-writing session).

#include <mutex>

class QTSerializerLock {
public:
    static std::recursive_mutex& sharedSerializer();
};
