#pragma once
// What a movie reader tells its delegate (the edit model) about a movie that opens in the
// background, on the main thread. Both calls are optional; the defaults do nothing.

class ZEPMovie;

class ZEPMovieDelegate {
public:
    virtual ~ZEPMovieDelegate() = default;
    // The movie can be read now (possibly again, as loading goes on).
    virtual void movieDidBecomePlayable(ZEPMovie*) {}
    // The movie has finished loading.
    virtual void movieDidFinishLoading(ZEPMovie*) {}
};
