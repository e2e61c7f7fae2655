#include "dep/QtComponent/recorder/ffmpeg-recorder.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include "dep/QtComponent/ffmpeg/ffmpeg-hardware-codec-detector.h"
#include "hublet/log-sink.h"
#include "platform/files.h"

namespace {

const AVRational kMicroseconds = {1, 1000000};

// Fragments start at every key picture and at least once a second, so a
// recording that is cut off loses about a second at most. The empty index up
// front and the fragments' own base offsets make every complete fragment
// readable without a final index.
constexpr const char* kFragmentFlags = "frag_keyframe+empty_moov+default_base_moof";
constexpr const char* kFragmentDurationUs = "1000000";
// The muxer holds a packet back until every stream has one of the same time;
// by default for up to ten seconds. The worker keeps sound up with the
// pictures; this bounds the wait when it cannot (sound that failed to encode).
constexpr int64_t kMaxInterleaveDelayUs = 1000000;

std::string ErrorText(int code, size_t size) {
    std::vector<char> buf(size, 0);
    av_strerror(code, buf.data(), size - 1);
    return buf.data();
}

const AVCodec* PickVideoEncoder(bool* hardware) {
    std::vector<std::string> hw = HardwareCodecDetector::instance()->hardwareEncoders();
    *hardware = !hw.empty();
    if (*hardware)
        return avcodec_find_encoder_by_name(hw.front().c_str());
    return avcodec_find_encoder(AV_CODEC_ID_H264);
}

}  // namespace

FFmpegRecorder::~FFmpegRecorder() {
    close();
}

bool FFmpegRecorder::open(const RecordParams& params) {
    close();
    failed_ = false;
    failureText_.clear();
    path_ = params.path;
    int ret = avformat_alloc_output_context2(&output_, nullptr, nullptr, params.path.c_str());
    if (ret < 0 || !output_) {
        BG_LOGE("avformat_alloc_output_context2 fail");
        output_ = nullptr;
        return false;
    }
    bool ok = true;
    if (params.withVideo)
        ok = addVideoStream(params) && videoContext_ && videoStream_;
    if (ok && params.withAudio && videoStream_)
        ok = addAudioStream(params) && audioContext_;
    if (ok && !videoStream_ && !audioStream_)
        ok = false;
    if (ok)
        ok = openFile(params);
    if (!ok)
        freeAll();
    return ok;
}

bool FFmpegRecorder::addVideoStream(const RecordParams& params) {
    if (params.width < 1 || params.height < 1 || params.frameRate < 1)
        return false;
    bool hardware = false;
    const AVCodec* codec = PickVideoEncoder(&hardware);
    if (!codec)
        return false;
    videoStream_ = avformat_new_stream(output_, nullptr);
    if (!videoStream_) {
        BG_LOGE("video avformat_new_stream fail");
        return false;
    }
    videoStream_->id = static_cast<int>(output_->nb_streams) - 1;
    videoContext_ = avcodec_alloc_context3(codec);
    if (!videoContext_) {
        BG_LOGE("video avcodec_alloc_context3 fail");
        return false;
    }
    AVCodecContext* c = videoContext_;
    c->codec_type = AVMEDIA_TYPE_VIDEO;
    c->codec_id = codec->id;
    c->bit_rate = params.videoBitRate;
    c->width = params.width;
    c->height = params.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, params.frameRate};
    c->gop_size = 2 * params.frameRate;
    c->qmin = 10;
    c->qmax = 51;
    c->qcompress = 0.6f;
    c->max_b_frames = 0;
    videoStream_->time_base = c->time_base;
    if (params.globalHeader && (output_->oformat->flags & AVFMT_GLOBALHEADER)) {
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (!hardware) {
        av_opt_set(c->priv_data, "preset", "ultrafast", 0);
        av_opt_set(c->priv_data, "tune", "zerolatency", 0);
    }
    int ret = avcodec_open2(c, codec, nullptr);
    if (ret < 0) {
        BG_LOGE("cannot open video codec: %s", ErrorText(ret, 128).c_str());
        avcodec_free_context(&videoContext_);
        return false;
    }
    if (avcodec_parameters_from_context(videoStream_->codecpar, c) < 0) {
        BG_LOGE("Could not copy the stream parameters");
        return false;
    }
    return true;
}

bool FFmpegRecorder::addAudioStream(const RecordParams& params) {
    if (params.audioSampleRate < 1 || params.audioChannels < 1)
        return false;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) {
        BG_LOGE("audio avcodec_find_encoder [%s] fail", avcodec_get_name(AV_CODEC_ID_AAC));
        return false;
    }
    audioStream_ = avformat_new_stream(output_, nullptr);
    if (!audioStream_) {
        BG_LOGE("audio avformat_new_stream fail");
        return false;
    }
    audioStream_->id = static_cast<int>(output_->nb_streams) - 1;
    audioContext_ = avcodec_alloc_context3(codec);
    if (!audioContext_) {
        BG_LOGE("audio avcodec_alloc_context3 fail");
        return false;
    }
    AVCodecContext* c = audioContext_;
    c->codec_type = AVMEDIA_TYPE_AUDIO;
    c->codec_id = codec->id;
    av_channel_layout_default(&c->ch_layout, params.audioChannels);
    c->sample_rate = params.audioSampleRate;
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->time_base = AVRational{1, params.audioSampleRate};
    c->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    audioStream_->time_base = c->time_base;
    if (output_->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int ret = avcodec_open2(c, codec, nullptr);
    if (ret < 0) {
        BG_LOGE("cannot open audio codec: %s", ErrorText(ret, 128).c_str());
        avcodec_free_context(&audioContext_);
        return false;
    }
    if (avcodec_parameters_from_context(audioStream_->codecpar, c) < 0) {
        BG_LOGE("Could not copy the stream parameters");
        return false;
    }
    return true;
}

bool FFmpegRecorder::openFile(const RecordParams& params) {
    av_dump_format(output_, 0, params.path.c_str(), 1);
    if (!(output_->oformat->flags & AVFMT_NOFILE)) {
        // The save folder may be shared: the file is made afresh, never
        // through a link planted under its name, and FFmpeg opens that very
        // file through its descriptor rather than the name again.
        std::string error;
        const int fd = platform::CreateFreshFile(params.path, &error);
        if (fd < 0) {
            BG_LOGE("Could not open %s: %s", params.path.c_str(), error.c_str());
            return false;
        }
        const int ret =
            avio_open(&output_->pb, platform::DescriptorPath(fd).c_str(), AVIO_FLAG_WRITE);
        platform::CloseDescriptor(fd);
        if (ret < 0) {
            BG_LOGE("Could not open %s", params.path.c_str());
            return false;
        }
    }
    // Every packet is pushed on to the file at once: a fragment the muxer has
    // finished must not wait in the I/O buffer for the next one.
    output_->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    output_->max_interleave_delta = kMaxInterleaveDelayUs;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", kFragmentFlags, 0);
    av_dict_set(&options, "frag_duration", kFragmentDurationUs, 0);
    int ret = avformat_write_header(output_, &options);
    av_dict_free(&options);
    if (ret < 0) {
        BG_LOGE("avformat_write_header fail, when opening output file: %s",
                ErrorText(ret, 128).c_str());
        return false;
    }
    headerWritten_ = true;
    goodSize_ = output_->pb ? avio_tell(output_->pb) : 0;
    return true;
}

void FFmpegRecorder::writeVideoPacket(AVPacket* packet) {
    if (!packet || !videoStream_)
        return;
    packet->dts = packet->pts;
    if (heldVideo_)
        writeHeldVideo(packet->pts - heldVideo_->pts);
    heldVideo_ = av_packet_clone(packet);
}

void FFmpegRecorder::writeHeldVideo(int64_t durationUs) {
    heldVideo_->duration = durationUs;
    av_packet_rescale_ts(heldVideo_, kMicroseconds, videoStream_->time_base);
    heldVideo_->stream_index = videoStream_->index;
    {
        std::lock_guard<std::mutex> lock(writeMutex_);
        writeLocked(heldVideo_);
    }
    av_packet_free(&heldVideo_);
}

bool FFmpegRecorder::writeLocked(AVPacket* packet) {
    if (failed_.load())
        return false;
    int ret = av_interleaved_write_frame(output_, packet);
    // A write error may also surface only in the I/O context (the muxer
    // buffers a fragment and writes it later).
    if (ret >= 0 && output_->pb && output_->pb->error < 0)
        ret = output_->pb->error;
    // Anything but an I/O error (a packet the muxer refuses) costs that packet only.
    if (ret < 0 && output_->pb && output_->pb->error < 0) {
        fail(ret);
        return false;
    }
    // Every packet is flushed, so the position is what the file holds.
    if (ret >= 0 && output_->pb)
        goodSize_ = avio_tell(output_->pb);
    return ret >= 0;
}

void FFmpegRecorder::fail(int code) {
    failureText_ = ErrorText(code, AV_ERROR_MAX_STRING_SIZE);
    failed_ = true;
    BG_LOGE("recording failed, cannot write %s: %s", path_.c_str(), failureText_.c_str());
}

std::string FFmpegRecorder::failureText() const {
    std::lock_guard<std::mutex> lock(writeMutex_);
    return failureText_;
}

void FFmpegRecorder::writeAudioPacket(AVPacket* packet) {
    if (!packet || !audioStream_ || !audioContext_)
        return;
    packet->dts = packet->pts;
    av_packet_rescale_ts(packet, AVRational{1, audioContext_->sample_rate},
                         audioStream_->time_base);
    packet->stream_index = audioStream_->index;
    std::lock_guard<std::mutex> lock(writeMutex_);
    writeLocked(packet);
}

void FFmpegRecorder::close() {
    if (!output_)
        return;
    // After a write error the file keeps what it has: its complete fragments.
    if (headerWritten_ && !failed_.load()) {
        if (heldVideo_ && videoContext_) {
            AVRational tb = videoContext_->time_base;
            writeHeldVideo(static_cast<int64_t>(1000000) * tb.num / tb.den);
        }
        std::lock_guard<std::mutex> lock(writeMutex_);
        if (!failed_.load()) {
            int ret = av_write_trailer(output_);
            if (ret >= 0 && output_->pb)
                avio_flush(output_->pb);
            if (ret >= 0 && output_->pb && output_->pb->error < 0)
                ret = output_->pb->error;
            if (ret < 0)
                fail(ret);
        }
    }
    const bool cut = headerWritten_ && failed_.load() && goodSize_ > 0;
    freeAll();
    // The write that failed may have left part of a fragment behind.
    if (cut) {
        std::error_code error;
        std::filesystem::resize_file(path_, static_cast<uintmax_t>(goodSize_), error);
        if (error)
            BG_LOGW("cannot cut %s back to its last fragment: %s", path_.c_str(),
                    error.message().c_str());
    }
}

void FFmpegRecorder::freeAll() {
    av_packet_free(&heldVideo_);
    avcodec_free_context(&videoContext_);
    avcodec_free_context(&audioContext_);
    videoStream_ = nullptr;
    audioStream_ = nullptr;
    if (output_) {
        if (!(output_->oformat->flags & AVFMT_NOFILE))
            avio_closep(&output_->pb);
        avformat_free_context(output_);
        output_ = nullptr;
    }
    headerWritten_ = false;
}
