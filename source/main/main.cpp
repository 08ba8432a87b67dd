#include <physfs.h>

#include "system/log.h"

int main(int, char** argv) {
    PHYSFS_init(argv[0]);
    PHYSFS_setWriteDir(".");
    VLOG("WinMain", "Vantrisk starting");
    PHYSFS_deinit();
    return 0;
}
