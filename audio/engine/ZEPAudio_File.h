#pragma once
// A sound file as a ZEPAudio_Source: opened by path, read as non-interleaved float stereo at
// the file's rate (platform/codecs/AudioFileReader), with seek and tell. A render reads the
// frames asked and fills with silence what the file does not supply. Reading decodes, so it
// is not for a device's render thread; a consumer there reads through a ring.

#include "audio/engine/ZEPAudio_Source.h"

#include <QString>

#include <memory>

class AudioFileReader;

class ZEPAudio_File : public ZEPAudio_Source {
public:
    ZEPAudio_File();
    ~ZEPAudio_File() override;

    OSStatus Open(const QString& path);
    OSStatus GetFileFormat(AudioStreamBasicDescription* outFormat) const;
    SInt64 GetLengthFrames() const;
    OSStatus Seek(SInt64 frame);
    SInt64 Tell() const;
    // Reads up to *ioFrames into list (two non-interleaved float buffers); *ioFrames comes
    // back as the frames read, 0 at the end.
    OSStatus Read(UInt32* ioFrames, AudioBufferList* list);

    OSStatus GetDescription(AudioStreamBasicDescription* outDescription) override;
    OSStatus SetMaxRequestFrames(UInt32) override { return kZEPAudio_CannotSetMaxRequestError; }
    OSStatus GetMaxRequestFrames(UInt32* outFrames) override;
    OSStatus Render(AudioUnitRenderActionFlags* ioFlags, const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                    AudioBufferList* ioData) override;

private:
    std::unique_ptr<AudioFileReader> mReader;
};
