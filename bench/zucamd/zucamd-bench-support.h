#pragma once

#include <string>
#include <vector>

#include "tests/dep/ffmpeg/h264-test-stream.h"

// Pieces shared by the benchmarks of zucamd's picture road.
namespace zubench {

// The pts of the pictures a decoder with H264Decoder's settings (low delay,
// one thread, one receive per send) yields for `units` pushed with pts 0, 1,
// ... in order: what the camera queue must receive when nothing is skipped.
// A stream with B-frames keeps its last few pictures inside the decoder.
std::vector<long long> ReferencePictures(const std::vector<zutest::AccessUnit>& units);

// The benchmarks open the camera queue and start servers. Called first thing
// in main: re-runs the program inside a private network namespace holding
// only loopback (nothing started inside can reach or announce on the real
// network) and gives it a camera queue name of its own (it never meets the
// queue of another ZuCam on this machine). Returns inside; exits with a
// message when the namespace cannot be entered (needs root).
void EnterSandbox(int argc, char** argv);
// True when only loopback is up, checked again before anything is opened.
bool InsideSandbox();

}  // namespace zubench
