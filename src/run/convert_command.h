#pragma once

#include <string>
#include <vector>

// quorvane-capture --convert [FILE] [1]: splits, converts and reports a
// recording kept from an earlier run (record.pcm by default), as a run does
// after its upload: record_chN.wav, the level table, record.json and
// record.svg, all in the working folder. Neither the network, the serial port
// nor the network report is touched. `afterOption` are the arguments after
// --convert. Returns the exit status: 0 when every wanted WAV file was made,
// 1 when not (also for a recording without one whole frame), -1 for a bad
// command line, a recording that cannot be read or that is one of the files
// the conversion writes, or a converter that cannot be found, and that of
// the interruption after Ctrl-C.
int runConvertCommand(const std::vector<std::string>& afterOption);
