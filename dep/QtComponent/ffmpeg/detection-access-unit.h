#pragma once

#include <cstddef>

// The picture the hardware detection sends to each candidate device: one
// Annex B access unit (SPS, PPS, one SEI, one IDR slice) of a 40x40
// High-profile picture, produced by gen-detection-access-unit.py.
extern const unsigned char kDetectionAccessUnit[];
extern const size_t kDetectionAccessUnitSize;
