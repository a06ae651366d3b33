#pragma once

// Prints the serial ports present, one a line, with what the system knows
// about each; says so when there are none.
void printSerialPorts();
