#pragma once
// The resident memory of the benchmark's process, in bytes (0 where /proc cannot tell).

#include <cstdlib>
#include <fstream>
#include <string>

namespace clipdeck::bench {

inline double residentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) * 1024.0;
    }
    return 0;
}

} // namespace clipdeck::bench
