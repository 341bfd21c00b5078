#pragma once
// A reference-counted holder of an AudioChannelLayout. Copies share one layout block; the
// count changes only by atomic additions, so copies may live on different threads.

#include "platform/CoreAudioTypes.h"

#include <atomic>
#include <ostream>

class CAAudioChannelLayout {
public:
    // A layout with no descriptions (all zero).
    CAAudioChannelLayout();
    // 1 to 8 channels except 3: a layout with only the tag for that count (the surround
    // choice picks the second tag where there is one); otherwise channels descriptions with
    // unknown labels.
    CAAudioChannelLayout(UInt32 channels, bool chooseSurround);
    explicit CAAudioChannelLayout(AudioChannelLayoutTag tag);
    // A copy of layout (12 + 20 x descriptions bytes); an empty layout for null.
    explicit CAAudioChannelLayout(const AudioChannelLayout* layout);
    CAAudioChannelLayout(const CAAudioChannelLayout& other);
    ~CAAudioChannelLayout();

    CAAudioChannelLayout& operator=(const CAAudioChannelLayout& other);
    CAAudioChannelLayout& operator=(AudioChannelLayoutTag tag);
    CAAudioChannelLayout& operator=(const AudioChannelLayout* layout);

    bool operator==(const CAAudioChannelLayout& other) const;

    // The bitmap's bits for the bitmap tag, the descriptions for tag 0, else the tag's low
    // 16 bits.
    UInt32 NumberChannels() const;
    AudioChannelLayoutTag Tag() const { return Layout().mChannelLayoutTag; }
    const AudioChannelLayout& Layout() const { return *mLayout->layout(); }
    UInt32 Size() const { return mLayout->size(); }

    void Print(std::ostream& out) const;

    // A zeroed bare layout block of n descriptions with unknown labels; throws
    // std::bad_alloc when it cannot be made. Free it with FreeLayout.
    static AudioChannelLayout* CreateLayout(UInt32 numberChannelDescriptions);
    static void FreeLayout(AudioChannelLayout* layout);

private:
    class RefCountedLayout {
    public:
        static RefCountedLayout* CreateWithNumberChannelDescriptions(UInt32 descriptions);
        static RefCountedLayout* CreateWithLayout(const AudioChannelLayout* layout);
        void retain() { mRefCount.fetch_add(1, std::memory_order_relaxed); }
        void release();
        AudioChannelLayout* layout() { return reinterpret_cast<AudioChannelLayout*>(mStorage); }
        const AudioChannelLayout* layout() const { return reinterpret_cast<const AudioChannelLayout*>(mStorage); }
        UInt32 size() const { return mByteSize; }

    private:
        std::atomic<int> mRefCount{1};
        UInt32 mByteSize = 0;
        alignas(AudioChannelLayout) unsigned char mStorage[1];
    };

    RefCountedLayout* mLayout;
};
