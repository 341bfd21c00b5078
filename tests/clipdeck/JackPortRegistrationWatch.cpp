#include "JackPortRegistrationWatch.h"

#include <jack/jack.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

namespace {

std::mutex g_mutex;
std::set<jack_client_t*> g_active;
std::vector<std::string> g_registeredOnActive;

// The JACK library's own definition of a function of ours.
template <class Function>
Function library(Function, const char* name)
{
    void* function = dlsym(RTLD_NEXT, name);
    if (!function) {
        std::fprintf(stderr, "JACK watch: no library definition of %s\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(function);
}

#define LIBRARY(name) ([] { static const auto function = library(&::name, #name); return function; }())

} // namespace

extern "C" {

int jack_activate(jack_client_t* client)
{
    const int result = LIBRARY(jack_activate)(client);
    if (result == 0) {
        std::lock_guard lock(g_mutex);
        g_active.insert(client);
    }
    return result;
}

int jack_deactivate(jack_client_t* client)
{
    {
        std::lock_guard lock(g_mutex);
        g_active.erase(client);
    }
    return LIBRARY(jack_deactivate)(client);
}

int jack_client_close(jack_client_t* client)
{
    {
        std::lock_guard lock(g_mutex);
        g_active.erase(client);
    }
    return LIBRARY(jack_client_close)(client);
}

jack_port_t* jack_port_register(jack_client_t* client, const char* name, const char* type, unsigned long flags,
                                unsigned long bufferSize)
{
    {
        std::lock_guard lock(g_mutex);
        if (g_active.count(client))
            g_registeredOnActive.emplace_back(name ? name : "");
    }
    return LIBRARY(jack_port_register)(client, name, type, flags, bufferSize);
}

} // extern "C"

namespace clipdeck::test {

std::vector<std::string> portsRegisteredOnActiveClients()
{
    std::lock_guard lock(g_mutex);
    return g_registeredOnActive;
}

} // namespace clipdeck::test
