#include "bench/zucamd/zucamd-bench-support.h"

#include <cstdio>
#include <cstdlib>

#include "platform/child-process.h"
#include "platform/network-interfaces.h"
#include "platform/paths.h"

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
    if (platform::GetEnv("ZUCAM_BENCH_SANDBOX") == "1")
        return;
    std::vector<std::string> args = {
        "unshare",
        "--net",
        "--mount",
        "--propagation",
        "private",
        "--",
        "sh",
        "-c",
        "ip link set lo up && "
        "mount -t tmpfs -o size=256m,mode=1777 zucam-bench-shm /dev/shm && "
        "ZUCAM_BENCH_SANDBOX=1 exec \"$0\" \"$@\"",
        platform::ExecutablePath()};
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    platform::ExecReplace(args);
    std::fprintf(stderr,
                 "cannot enter the sandbox (unshare needs root); the zucamd benchmarks "
                 "refuse to run outside it\n");
    std::exit(1);
}

bool InsideSandbox() {
    for (const platform::NetworkAdapter& a : platform::ListNetworkAdapters()) {
        if (a.ipv4.compare(0, 4, "127.") != 0) {
            std::fprintf(stderr, "refusing to run beside the network interface %s (%s)\n",
                         a.name.c_str(), a.ipv4.c_str());
            return false;
        }
    }
    if (platform::GetEnv("ZUCAM_BENCH_SANDBOX") != "1") {
        std::fprintf(stderr, "not inside the sandbox: no private /dev/shm for the camera queue\n");
        return false;
    }
    return true;
}

}  // namespace zubench
