#include "platform/devices/SoundLibraryMessages.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <mutex>

namespace {
void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}
void silentJackMessage(const char*) {}
} // namespace

void silenceSoundLibraryMessages()
{
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(silentAlsaError);
        jack_set_error_function(silentJackMessage);
        jack_set_info_function(silentJackMessage);
    });
}
