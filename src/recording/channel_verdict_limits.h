#pragma once

// Every limit behind a channel's verdict and the recording's length check, in
// one place so that the README can quote them. Levels are in dBFS with
// 0 dBFS = a sample of magnitude 32768 (full scale), so a full-scale square
// wave has an RMS of 0 dBFS and a full-scale sine one of -3 dBFS.
namespace quorvane::recording::limits {

// About 10 codes RMS: a live microphone's own noise is well above it, so a
// channel below it (every sample within a few codes of zero) hears nothing.
constexpr double kSilentRmsDbfs = -70.0;

// A click may touch full scale now and then; more than one sample in a
// thousand at -32768 or 32767 means the input is overdriven.
constexpr double kClippingFraction = 0.001;

// Microphone inputs are AC-coupled and average near zero; a mean further off
// (in % of full scale) points to a biased or faulty input stage.
constexpr double kDcOffsetPercent = 3.0;

// The microphones of one array hear the same room, so their RMS levels agree
// within a few dB; a channel this far from the median is weak or loud.
constexpr double kLevelSpreadDb = 6.0;

// A channel's level is judged against at least one other channel that is ok
// on its own figures; alone, it has nothing to differ from.
constexpr int kChannelsForLevelMatch = 2;

// Audio this much or more short of the record time asked for means the upload
// ended early (a reset, or a device that stopped sending).
constexpr double kShortRecordingSeconds = 1.0;

}  // namespace quorvane::recording::limits
