#include "run/network_report.h"

const char* networkReportCommand() {
    return "ipconfig/all > ./ipconfig.txt";
}
