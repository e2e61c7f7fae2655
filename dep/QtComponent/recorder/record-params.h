#pragma once

#include <string>

// What the owner of a recording asks for. The container follows the file
// name's extension (".mp4").
struct RecordParams {
    std::string path;  // UTF-8
    bool globalHeader = true;
    bool withVideo = true;
    bool withAudio = true;
    int width = 0;
    int height = 0;
    int frameRate = 25;
    int videoBitRate = 2000000;  // bits per second
    int audioSampleRate = 44100;
    int audioChannels = 1;
};
