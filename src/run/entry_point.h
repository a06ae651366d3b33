#pragma once

// The process entry point: runs the network report, checks and stores the
// command line, then runs the whole provisioning and upload sequence.
// Returns the process exit status.
int runEntryPoint(int argc, char** argv);
