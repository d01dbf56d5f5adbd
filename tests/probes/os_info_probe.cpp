// Prints what CQRVWindowsOSInfo makes of the running system, one "name=value" per line.
// Wine reads its Windows version once per process, so the OS-information tests run
// this program once per version setting and read its output.
#include <cstdio>

#include "qrv_windows_os_info.h"

int main()
{
    try {
        CQRVWindowsOSInfo info;
        std::printf("version=%.1f\n", info.getVersion());
        std::printf("isXP=%d\n", info.isXP() ? 1 : 0);
        std::printf("isVista=%d\n", info.isVista() ? 1 : 0);
        std::printf("platform=%d\n", info.getPlatform());
        std::printf("servicePack=%lu\n", info.getServicePack());
        std::printf("pe=%d\n", info.isPE() ? 1 : 0);
        return 0;
    } catch (...) {
        std::printf("construction failed\n");
        return 1;
    }
}
