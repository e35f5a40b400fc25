// Asks Wine for the sound output devices once, before several processes start playing at
// the same moment. The first process in a fresh prefix to ask registers the devices; when
// several do it together, each registers its own, and all but one then play nothing.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>

int main() {
    const UINT devices = waveOutGetNumDevs();
    std::printf("sound output devices: %u\n", devices);
    return devices > 0 ? 0 : 1;
}
