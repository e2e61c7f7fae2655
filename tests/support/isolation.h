#pragma once

namespace zutest {

// Gives this test program (and every process it starts) its own camera
// queue name, so tests never touch the camera of a ZuCam the user is running
// and test programs running side by side never meet in one queue.
void IsolateMachineWideNames();

}  // namespace zutest
