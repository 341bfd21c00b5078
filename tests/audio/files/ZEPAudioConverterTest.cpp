#include "audio/files/ZEPAudioConverter.h"
#include "audio/files/ZEPStreamDescriptionDictionary.h"

#include "audio/engine/CAStreamFormat.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

namespace {

QVariantMap encoderSettings(double rate, qlonglong channels, qlonglong bits, QVariant bitRate = {})
{
    QVariantMap settings{{"mSampleRate", rate}, {"mChannelsPerFrame", channels}, {"mBitsPerChannel", bits}};
    if (bitRate.isValid())
        settings.insert("bitRate", bitRate);
    return settings;
}

} // namespace

TEST(ZEPAudioConverter, describesSettingsInOneLine)
{
    struct Case {
        QVariantMap settings;
        const char* expected;
    };
    const Case cases[] = {
        {encoderSettings(44100, 2, 0, 128000), "Stereo, 44.1kHz, 128kbps"},
        {encoderSettings(44100, 2, 16, 0), "Stereo, 44.1kHz, 16-bit"},
        {encoderSettings(44100, 2, 0), "Stereo, 44.1kHz"},
        {encoderSettings(48000, 1, 16), "Mono, 48.0kHz, 16-bit"},
        {encoderSettings(44100, 0, 0), "Mono, 44.1kHz"},
        {encoderSettings(44100, 2, 0, 999), "Stereo, 44.1kHz, 0kbps"},
        {{}, "Mono, 0.0kHz"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ZEPAudioConverter::descriptionWithEncoderSettings(c.settings).toStdString(), c.expected);
}

TEST(ZEPAudioConverter, readsAndWritesStreamDescriptionDictionaries)
{
    AudioStreamBasicDescription d;
    d.mSampleRate = 48000;
    d.mFormatID = kAudioFormatMPEG4AAC;
    d.mFramesPerPacket = 1024;
    d.mChannelsPerFrame = 2;
    const QVariantMap dictionary = ZEPDictionaryFromASBD(d);
    EXPECT_EQ(dictionary.size(), 9);
    EXPECT_EQ(dictionary.value("mFormatID").toLongLong(), 0x61616320);
    EXPECT_TRUE(ZEPASBDFromDictionary(dictionary) == d);
    EXPECT_TRUE(ZEPAudioConverter::asbdWithDictionary(dictionary) == d);

    QVariantMap partial = dictionary;
    partial.remove("mChannelsPerFrame");
    partial.insert("mFramesPerPacket", QStringLiteral("1024"));
    EXPECT_EQ(ZEPAudioConverter::asbdWithDictionary(partial).mChannelsPerFrame, 0u);
    EXPECT_EQ(ZEPAudioConverter::asbdWithDictionary(partial).mFramesPerPacket, 1024u); // read leniently
    EXPECT_EQ(ZEPASBDFromDictionary(partial).mFramesPerPacket, 0u);                    // not a number

    UInt32 value = 77;
    EXPECT_EQ(ZEPDictionaryGetNumber(partial, "mChannelsPerFrame", ZEPNumberType::UInt32, &value), kZEPMissingKeyError);
    EXPECT_EQ(ZEPDictionaryGetNumber(partial, "mFramesPerPacket", ZEPNumberType::UInt32, &value), kZEPNotANumberError);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(ZEPDictionaryGetNumber(partial, "mFormatID", ZEPNumberType::UInt32, &value), noErr);
    EXPECT_EQ(value, kAudioFormatMPEG4AAC);
}

// Only the outermost end of nested changes posts, and nothing when posting is off.
TEST(ZEPAudioConverter, nestedChangesPostOnce)
{
    std::unique_ptr<ZEPAudioConverter> converter = ZEPAudioConverter::initWithFileType(kAudioFileWAVEType);
    ASSERT_TRUE(converter);
    int posted = 0;
    NotificationCenter::defaultCenter().addObserver(&posted, ZEPAudioConverter::HasChangedNotification,
                                                    converter.get(), [&](const Notification&) { ++posted; });
    converter->beginChange();
    converter->beginChange();
    converter->endChange();
    EXPECT_EQ(posted, 0);
    converter->endChange();
    EXPECT_EQ(posted, 1);

    converter->setChangeNotificationEnabled(false);
    converter->beginChange();
    converter->endChange();
    EXPECT_EQ(posted, 1);

    converter->setChangeNotificationEnabled(true);
    converter->setSettings(*converter->settings()); // the description and more, one change
    EXPECT_EQ(posted, 2);
    NotificationCenter::defaultCenter().removeObserver(&posted);
}

TEST(ZEPAudioConverter, settingsRoundTripAndRefusedDescriptionsChangeNothing)
{
    std::unique_ptr<ZEPAudioConverter> converter = ZEPAudioConverter::initWithFileType(kAudioFileM4AType);
    ASSERT_TRUE(converter);
    QVariantMap settings = *converter->settings();
    EXPECT_EQ(settings.value("mFormatID").toLongLong(), qlonglong(kAudioFormatMPEG4AAC));
    EXPECT_TRUE(settings.contains("bitRate"));
    EXPECT_TRUE(settings.contains("quality"));

    settings.insert("bitRate", 256000);
    settings.insert("quality", 96);
    converter->setSettings(settings);
    EXPECT_EQ(converter->settings()->value("bitRate").toLongLong(), 256000);
    EXPECT_EQ(converter->settings()->value("quality").toLongLong(), 96);
    EXPECT_EQ(ZEPAudioConverter::descriptionWithEncoderSettings(*converter->settings()).toStdString(),
              "Stereo, 44.1kHz, 256kbps");

    // A rate AAC does not take: the previous output stays and keeps working.
    QVariantMap refused = settings;
    refused.insert("mSampleRate", 12345.0);
    converter->setSettings(refused);
    EXPECT_EQ(converter->settings()->value("mSampleRate").toDouble(), 44100.0);
    EXPECT_EQ(converter->settings()->value("mFormatID").toLongLong(), qlonglong(kAudioFormatMPEG4AAC));
}
