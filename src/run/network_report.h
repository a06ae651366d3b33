#pragma once

// The command line that writes the operating system's network report to
// ./ipconfig.txt in the working directory.
const char* networkReportCommand();
