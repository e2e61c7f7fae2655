#pragma once

// zucam-camera's lines on standard error, each whole and prefixed with the
// program's name. Say() is for what a user cares about; SayMore() only shows
// with --verbose.
void SetVerbose(bool verbose);
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void SayMore(const char* format, ...) __attribute__((format(printf, 1, 2)));
