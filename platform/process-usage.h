#pragma once

namespace platform {

// What a running process costs the machine at one moment: resident memory
// (split as the kernel accounts it) and the processor time all its threads
// have used so far. Sizes in KiB.
struct ProcessUsage {
    long long residentKiB = 0;      // all resident pages
    long long peakResidentKiB = 0;  // the highest resident size so far
    long long anonymousKiB = 0;     // heap, stacks, private mappings
    long long fileKiB = 0;          // mapped files (program, libraries)
    long long sharedMemKiB = 0;     // shared memory objects (the camera queue)
    double cpuSeconds = 0;          // user + system time of every thread
};

// False when the process does not exist (or can no longer be read).
bool ReadProcessUsage(long pid, ProcessUsage* usage);

}  // namespace platform
