#pragma once

#include <memory>

#include "recording/shared_record_summary.h"

// record.json, written last by a run that reached the upload and by every
// --convert, when the exit status is known.

// A summary begun now, with this tool's version.
std::shared_ptr<quorvane::recording::SharedRecordSummary> beginSummary(quorvane::recording::SummaryCommand command);

struct SummaryEnd {
    int exitStatus = 0;
    // Ended by Ctrl-C or a like signal.
    bool interrupted = false;
    // For the hint: the switch that converts channel 3 too.
    bool convertChannel3 = false;
};

// Completes the summary (the end time, the exit status, and the ending of a
// run whose upload told none: interrupted, or failed because no upload came)
// and writes record.json in `folder` ("": the working folder); says on standard error when it cannot. When the
// recording is kept but its WAV files were not all made, says how to make
// them from it with --convert.
void finishSummary(quorvane::recording::SharedRecordSummary& summary, const SummaryEnd& end,
                   const std::string& folder = {});
