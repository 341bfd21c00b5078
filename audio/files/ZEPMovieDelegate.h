#pragma once
// What a sound file reader tells its delegate (the edit model) about a file that opens in the
// background, on the main thread. Both calls are optional; the defaults do nothing.

class ZEPAudioFile;

class ZEPMovieDelegate {
public:
    virtual ~ZEPMovieDelegate() = default;
    // The file can be read now (possibly again, as loading goes on).
    virtual void movieDidBecomePlayable(ZEPAudioFile*) {}
    // The file has finished loading: opened (canPlay() YES) or not (loadStatus() tells why).
    virtual void movieDidFinishLoading(ZEPAudioFile*) {}
};
