// What the process holds: its open descriptors, read from /proc/self/fd.
#ifndef OSTRABEL1_TESTS_RELIABILITY_PROCESS_PROBE_H
#define OSTRABEL1_TESTS_RELIABILITY_PROCESS_PROBE_H

#include <dirent.h>

#include <cstdlib>
#include <set>

// The descriptor numbers open right now (the one used for listing is left out).
inline std::set<int> open_descriptors() {
    std::set<int> found;
    DIR* listing = opendir("/proc/self/fd");
    if (listing == nullptr) return found;
    const int own = dirfd(listing);
    while (const dirent* entry = readdir(listing)) {
        if (entry->d_name[0] == '.') continue;
        const int fd = std::atoi(entry->d_name);
        if (fd != own) found.insert(fd);
    }
    closedir(listing);
    return found;
}

#endif
