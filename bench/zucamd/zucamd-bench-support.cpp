#include "bench/zucamd/zucamd-bench-support.h"

#include <cstdio>
#include <cstdlib>

#include "platform/child-process.h"
#include "platform/network-interfaces.h"
#include "platform/paths.h"

#include "tests/support/isolation.h"
#include "tests/support/private-network.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace zubench {

std::vector<long long> ReferencePictures(const std::vector<zutest::AccessUnit>& units) {
    std::vector<long long> pts;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* c = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!c)
        return pts;
    c->flags |= AV_CODEC_FLAG_LOW_DELAY;
    c->thread_count = 1;
    c->thread_type = FF_THREAD_SLICE;
    AVFrame* frame = av_frame_alloc();
    if (frame && avcodec_open2(c, codec, nullptr) == 0) {
        for (size_t i = 0; i < units.size(); ++i) {
            PacketHolder packet = zutest::ToPacket(units[i], static_cast<long long>(i));
            if (avcodec_send_packet(c, packet.get()) == 0 && avcodec_receive_frame(c, frame) == 0) {
                pts.push_back(frame->pts);
                av_frame_unref(frame);
            }
        }
    }
    av_frame_free(&frame);
    avcodec_free_context(&c);
    return pts;
}

void EnterSandbox(int argc, char** argv) {
    zutest::EnterPrivateNetwork(argc, argv);
    // A camera queue of this run's own, whatever else runs on the machine.
    zutest::IsolateMachineWideNames();
}

bool InsideSandbox() {
    for (const platform::NetworkAdapter& a : platform::ListNetworkAdapters()) {
        if (a.ipv4.compare(0, 4, "127.") != 0) {
            std::fprintf(stderr, "refusing to run beside the network interface %s (%s)\n",
                         a.name.c_str(), a.ipv4.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace zubench
