#pragma once
// Watches the test program's JACK clients: a port registered on a client already activated
// is noted (platform/midi/JackMIDIClient.h says why none may be). Linking the watch replaces
// the JACK library's activation, closing and port registration for the whole program; each
// call goes on to the library.

#include <string>
#include <vector>

namespace clipdeck::test {

// The names of the ports registered on active clients so far.
std::vector<std::string> portsRegisteredOnActiveClients();

} // namespace clipdeck::test
