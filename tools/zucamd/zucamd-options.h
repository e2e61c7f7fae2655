#pragma once

#include <string>

// zucamd's command line.
struct ZucamdOptions {
    int port = 10080;
    bool announce = true;
    std::string saveDir;  // empty: the "cfg_save_dir" setting
    bool usb = false;
    bool virtualMic = false;
    bool noCamera = false;
    bool cameraOutput = true;  // false: --no-camera-output
    int webPort = 10090;       // the phone page; 0: none
    bool newWebLink = false;
    bool verbose = false;
    bool help = false;
    bool version = false;

    // Parses argv; false with a message in *error for a bad command line.
    bool Parse(int argc, char** argv, std::string* error);
    static std::string Usage();
};
