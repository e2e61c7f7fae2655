#pragma once

#include <string>

// The virtual microphone and camera "drivers" on Linux.
//
// The microphone is a PulseAudio (or PipeWire) pipe source named
// "ZuAudioDevice" that reads 48 kHz mono s16le from the FIFO at
// AudioDeviceLinkPath(). Installing it loads the module through pactl,
// removing it unloads the module again; loaded modules last until the sound
// server restarts. Each pactl run is bounded by `timeoutMs`; the calls block
// the caller (the GUI thread) meanwhile.
//
// The camera needs no registration: other programs read the frame queue
// through zucam-camera.

// How long one pactl run may take.
constexpr int kAudioDriverToolTimeoutMs = 30000;

// The name under which the sound server lists the virtual microphone.
extern const char* const kAudioDeviceSourceName;

// True when the sound server lists a source named "ZuAudioDevice". False when
// it does not, or pactl is missing, fails or runs past the limit.
bool findAudioDriver(int timeoutMs = kAudioDriverToolTimeoutMs);

// Whether the sound server lists the virtual microphone, telling "it does
// not" from "nobody could be asked": kUnknown when pactl is missing, fails or
// runs past the limit, with the reason in `why`.
enum class AudioDriverPresence { kPresent, kAbsent, kUnknown };
AudioDriverPresence probeAudioDriver(std::string* why, int timeoutMs = kAudioDriverToolTimeoutMs);

// Loads the pipe source over the FIFO, marked with this user and process. True when pactl reports
// the new module's index, or when the source already reads the FIFO; false otherwise.
bool installAudioDriver(int timeoutMs = kAudioDriverToolTimeoutMs);

// Unloads every pipe source named "ZuAudioDevice" and removes a FIFO left
// behind. Always true, like the uninstaller's other steps.
bool removeAudioDriver(int timeoutMs = kAudioDriverToolTimeoutMs);

// Whether a "ZuAudioDevice" source is there that a run of this user loaded
// and that is gone now (killed before it could unload it).
bool findOrphanedAudioDriver(int timeoutMs = kAudioDriverToolTimeoutMs);
// Unloads those sources (and their FIFO); how many were unloaded.
int removeOrphanedAudioDriver(int timeoutMs = kAudioDriverToolTimeoutMs);

// Nothing to register on Linux; each logs one line saying so.
void registerCameraFilters();
void unregisterCameraFilters();
