#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "recording/record_files.h"

namespace quorvane::recording {

using ProgressClock = std::function<std::chrono::steady_clock::time_point()>;

// What the handling of a stored recording is handed by the run or by
// --convert.
struct ProcessingSettings {
    ProgressClock clock;
    bool convertChannel3 = false;
    // Asked between blocks of the split and before each conversion: true once
    // the run or the conversion has been interrupted. Never when empty.
    std::function<bool()> interrupted;
    // Told when the split is over and the conversions begin, which no
    // interruption stops; may be empty.
    std::function<void()> converting;
    // Asked while a converter runs and before each conversion: true once
    // nobody waits for the handling any more (the run gave up its bounded
    // wait after an interruption and has said so). The converter is left
    // running and the handling ends without a further word. Never when
    // empty.
    std::function<bool()> abandoned;
    // Where the recording's files are, and the streams that write them.
    std::shared_ptr<RecordingFiles> files = RecordingFiles::workingFolder();
};

}  // namespace quorvane::recording
