#include "run/network_report.h"

const char* networkReportCommand() {
    // The redirection creates the file even on a system that has neither tool.
    return "{ ip addr || ifconfig -a; } > ./ipconfig.txt 2>/dev/null";
}
