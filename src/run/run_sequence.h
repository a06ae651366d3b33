#pragma once

// Starts the serial link on the port of the stored arguments, waits until the
// run has finished and tears the link down. Returns the process exit status:
// 0 when the recording was stored, 1 when the run ended without it.
int runSequence();
