#include "tools/phone-sim/phone-session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <thread>

#include "platform/stop-request.h"
#include "tools/phone-sim/annexb-file-source.h"
#include "tools/phone-sim/desktop-discovery.h"
#include "tools/phone-sim/packet-builder.h"
#include "tools/phone-sim/pattern-encoder.h"
#include "tools/phone-sim/tcp-stream-transport.h"
#include "tools/phone-sim/tone-generator.h"
#include "tools/phone-sim/wav-reader.h"
#include "tools/phone-sim/zup2p-stream-transport.h"

namespace phonesim {
namespace {

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

int64_t SecondsToMicros(double seconds) {
    return static_cast<int64_t>(seconds * 1e6 + 0.5);
}

}  // namespace

PhoneSession::PhoneSession(const PhoneSimOptions& options, std::ostream& out, std::ostream& err)
    : options_(options), out_(out), err_(err) {
    timeline_ = options_.commands;
    // Untimed commands go first, in the order given; timed ones by time.
    std::stable_sort(timeline_.begin(), timeline_.end(),
                     [](const PhoneCommand& a, const PhoneCommand& b) {
                         return (a.timed ? a.atSeconds : 0) < (b.timed ? b.atSeconds : 0);
                     });
}

PhoneSession::~PhoneSession() = default;

// What a person can do about the failures met most, on the same line.
std::string PhoneSession::WhatToDo(const std::string& error) {
    const struct {
        const char* cause;
        const char* advice;
    } kAdvice[] = {
        {"cannot connect to the desktop",
         "; is zucamd (or ZuCam) running and listening there? Start it, or give --host and "
         "--port"},
        {"refused by the desktop",
         "; the desktop's terminal or log says why (a save folder it cannot write to, a command "
         "it does not take)"},
        {"no reply from the desktop", "; the desktop is busy or stuck: try a longer --timeout"},
        {"closed the command connection", "; the desktop ended the session: its log says why"},
    };
    for (const auto& entry : kAdvice) {
        if (error.find(entry.cause) != std::string::npos)
            return entry.advice;
    }
    return std::string();
}

int PhoneSession::Run() {
    std::string error;
    bool ok = OpenSources(&error) && LocateDesktop(&error);
    if (ok) {
        std::string host = options_.host;
        ok = commands_.Connect(host, static_cast<uint16_t>(options_.port), options_.timeoutMs(),
                               &error);
        if (ok)
            out_ << "connected to the desktop at " << host << ":" << options_.port << "\n";
    }
    if (ok && !options_.noPlay)
        ok = PushPlay(&error) && OpenTransport(&error);
    if (ok)
        ok = Stream(&error);
    if (!ok) {
        out_.flush();
        err_ << "zucam-phone-sim: error: " << error << WhatToDo(error) << "\n";
        return 1;
    }
    if (!shutdownAccepted_)
        EndStream();
    PrintTotals();
    return 0;
}

bool PhoneSession::OpenSources(std::string* error) {
    if (!options_.logPackets.empty() || !options_.saveVideo.empty()) {
        if (!sender_.OpenRecords(options_.logPackets, options_.saveVideo, error))
            return false;
    }
    if (options_.pattern) {
        auto encoder = std::make_unique<PatternEncoder>();
        PatternEncoder::Settings s;
        s.width = options_.width;
        s.height = options_.height;
        s.fps = options_.fps;
        s.gop = options_.gop;
        s.moreSizes = options_.moreSizes;
        s.bitrateKbps = options_.bitrateKbps;
        if (!encoder->Open(s, error))
            return false;
        video_ = std::move(encoder);
    } else if (!options_.videoFile.empty()) {
        auto file = std::make_unique<AnnexBFileSource>();
        if (!file->Open(options_.videoFile, options_.fps, options_.loop, error))
            return false;
        if (file->skippedBytes()) {
            err_ << "zucam-phone-sim: note: " << file->skippedBytes()
                 << " bytes of the video file are not part of any NAL unit and are not sent\n";
        }
        video_ = std::move(file);
    }
    if (options_.tone) {
        audio_ = std::make_unique<ToneGenerator>(options_.toneHz, options_.sampleRate,
                                                 options_.channels, options_.toneLevelDb);
    } else if (!options_.wavFile.empty()) {
        auto wav = std::make_unique<WavReader>();
        if (!wav->Open(options_.wavFile, error))
            return false;
        audio_ = std::move(wav);
    }
    if (audio_) {
        blockFrames_ = std::max<size_t>(1, size_t(audio_->sampleRate()) * options_.blockMs / 1000);
    }
    return true;
}

bool PhoneSession::LocateDesktop(std::string* error) {
    if (options_.discoverPort == 0)
        return true;
    out_ << "waiting for a desktop announcement on UDP port " << options_.discoverPort << "\n";
    out_.flush();
    DesktopDiscovery discovery(
        [this](const std::string& note) { err_ << "zucam-phone-sim: note: " << note << "\n"; });
    Announcement found;
    int waitMs = static_cast<int>(options_.discoverTimeout * 1000);
    if (!discovery.Listen(static_cast<uint16_t>(options_.discoverPort), waitMs, &found, error)) {
        return false;
    }
    out_ << "desktop \"" << found.name << "\" announced " << found.ip << ":" << found.port
         << " (datagram from " << found.sender << ")\n";
    options_.host = found.ip;
    options_.port = found.port;
    return true;
}

bool PhoneSession::PushPlay(std::string* error) {
    std::string text;
    Json::Value reply;
    Json::Value request = PushPlayRequest(options_.phoneName, options_.udp);
    if (!commands_.Request(request, options_.timeoutMs(), &text, &reply, error)) {
        *error = "push-play: " + *error;
        return false;
    }
    out_ << "reply push-play: " << Trimmed(text) << "\n";
    bool failed = false;
    std::string summary = SummarizePushPlay(reply, options_.udp, &failed);
    out_ << "push-play: " << summary << "\n";
    if (failed) {
        *error = "push-play: " + summary;
        return false;
    }
    const Json::Value& data = reply["data"];
    key_ = data["key"].asString();
    streamPort_ = static_cast<int>(data[options_.udp ? "udpPort" : "port"].asLargestInt());
    return true;
}

bool PhoneSession::OpenTransport(std::string* error) {
    if (options_.udp) {
        auto udp =
            std::make_unique<Zup2pStreamTransport>(size_t(options_.udpChunk), options_.timeoutMs());
        if (!udp->Connect(options_.host, streamPort_, error))
            return false;
        transport_ = std::move(udp);
    } else {
        auto tcp = std::make_unique<TcpStreamTransport>(options_.timeoutMs());
        if (!tcp->Connect(options_.host, static_cast<uint16_t>(streamPort_), error))
            return false;
        transport_ = std::move(tcp);
    }
    sender_.SetTransport(transport_.get());
    out_ << "streaming over " << transport_->name() << " to " << options_.host << ":" << streamPort_
         << ": " << Describe() << "\n";
    out_.flush();
    return sender_.SendToken(key_, error);
}

std::string PhoneSession::Describe() const {
    std::string video = "no video";
    if (options_.pattern) {
        video = "pattern " + std::to_string(options_.width) + "x" +
                std::to_string(options_.height) + "@" + std::to_string(options_.fps);
    } else if (video_) {
        video = "video " + options_.videoFile + " at " + std::to_string(options_.fps) + " fps";
    }
    std::string audio = "no audio";
    if (audio_) {
        audio = (options_.tone ? "tone " + std::to_string(static_cast<int>(options_.toneHz)) + " Hz"
                               : "audio " + options_.wavFile) +
                ", " + std::to_string(audio_->sampleRate()) + " Hz, " +
                std::to_string(audio_->channels()) + " ch";
    }
    return video + "; " + audio;
}

bool PhoneSession::Stream(std::string* error) {
    // Commands are added first so that at equal times they go before media.
    if (!timeline_.empty()) {
        commandTrack_ = scheduler_.AddTrack();
        const PhoneCommand& first = timeline_.front();
        scheduler_.SetDue(commandTrack_, SecondsToMicros(first.timed ? first.atSeconds : 0));
    }
    if (video_)
        scheduler_.SetDue(videoTrack_ = scheduler_.AddTrack(), 0);
    if (audio_)
        scheduler_.SetDue(audioTrack_ = scheduler_.AddTrack(), 0);
    endMicros_ = options_.duration > 0 ? SecondsToMicros(options_.duration)
                                       : std::numeric_limits<int64_t>::max();
    scheduler_.Start();
    int64_t due = 0;
    for (int track; (track = scheduler_.NextTrack(&due)) >= 0 && due < endMicros_;) {
        if (due > scheduler_.Elapsed()) {
            if (transport_ && !transport_->Flush(error))
                return false;
            scheduler_.WaitUntil(due);
        }
        // A desktop that drops the link closes the command connection first;
        // catching it here beats waiting for a send to fail.
        if (commands_.PeerClosed()) {
            *error = "the desktop closed the command connection";
            return false;
        }
        // Asked to stop: end like a finished run, so the desktop still gets a
        // clean end of stream and the records are complete.
        if (platform::StopRequested()) {
            out_ << "stopping on request\n";
            break;
        }
        if (!RunTrack(track, error))
            return false;
        if (shutdownAccepted_)
            break;
    }
    if (!shutdownAccepted_ && !platform::StopRequested() && nextCommand_ < timeline_.size()) {
        err_ << "zucam-phone-sim: warning: " << timeline_.size() - nextCommand_
             << " command(s) not sent, the run ended first (from " << timeline_[nextCommand_].name
             << " on)\n";
    }
    return !transport_ || transport_->Flush(error);
}

void PhoneSession::EndRunAt(int64_t micros) {
    endMicros_ = std::min(endMicros_, micros);
}

bool PhoneSession::RunTrack(int track, std::string* error) {
    if (track == videoTrack_)
        return SendVideoUnit(error);
    if (track == audioTrack_)
        return SendAudioBlock(error);
    const PhoneCommand& command = timeline_[nextCommand_++];
    if (nextCommand_ < timeline_.size()) {
        const PhoneCommand& next = timeline_[nextCommand_];
        scheduler_.SetDue(commandTrack_, SecondsToMicros(next.timed ? next.atSeconds : 0));
    } else {
        scheduler_.Finish(commandTrack_);
    }
    return SendCommand(command, error);
}

bool PhoneSession::SendVideoUnit(std::string* error) {
    AccessUnit unit;
    int rc = video_->Next(&unit, error);
    if (rc < 0)
        return false;
    if (rc == 0) {
        scheduler_.Finish(videoTrack_);
        EndRunAt(int64_t(pictures_ * 1000000 / uint64_t(video_->fps())));
        return true;
    }
    if (!unit.config.empty() && !sender_.SendVideo(kFrameConfig, unit.config, error)) {
        return false;
    }
    if (!unit.picture.empty() &&
        !sender_.SendVideo(unit.key ? kFrameKey : kFramePicture, unit.picture, error)) {
        return false;
    }
    ++pictures_;
    int64_t next = int64_t(pictures_ * 1000000 / uint64_t(video_->fps()));
    scheduler_.SetDue(videoTrack_, next);
    if (options_.frames > 0 && pictures_ >= uint64_t(options_.frames)) {
        scheduler_.Finish(videoTrack_);
        EndRunAt(next);
    }
    return true;
}

bool PhoneSession::SendAudioBlock(std::string* error) {
    size_t got = audio_->Read(blockFrames_, &pcm_);
    if (got == 0 && options_.loop && audio_->Rewind())
        got = audio_->Read(blockFrames_, &pcm_);
    if (got == 0) {
        scheduler_.Finish(audioTrack_);
        EndRunAt(int64_t(audioFrames_ * 1000000 / audio_->sampleRate()));
        return true;
    }
    if (!sender_.SendAudio(audio_->sampleRate(), audio_->channels(), pcm_, error))
        return false;
    ++audioBlocks_;
    audioFrames_ += got;
    int64_t next = int64_t(audioFrames_ * 1000000 / audio_->sampleRate());
    scheduler_.SetDue(audioTrack_, next);
    // Without video, --frames counts audio blocks.
    if (!video_ && options_.frames > 0 && audioBlocks_ >= uint64_t(options_.frames)) {
        scheduler_.Finish(audioTrack_);
        EndRunAt(next);
    }
    return true;
}

bool PhoneSession::SendCommand(const PhoneCommand& command, std::string* error) {
    std::string text;
    Json::Value reply;
    if (!commands_.Request(command.Request(), options_.timeoutMs(), &text, &reply, error)) {
        *error = command.name + ": " + *error;
        return false;
    }
    bool failed = false;
    std::string summary = SummarizeReply(command, reply, &failed);
    char at[32];
    std::snprintf(at, sizeof at, "%.3f", scheduler_.Elapsed() / 1e6);
    out_ << "reply " << command.name << ": " << Trimmed(text) << "\n";
    out_ << command.name << ": " << summary << " (at " << at << " s)\n";
    out_.flush();
    if (failed) {
        *error = command.name + ": " + summary;
        return false;
    }
    if (command.type == 2)
        shutdownAccepted_ = true;
    return true;
}

void PhoneSession::EndStream() {
    std::string error;
    if (transport_ && !transport_->Finish(&error)) {
        err_ << "zucam-phone-sim: warning: could not mark the end of the stream: " << error << "\n";
        // Give the transport a moment to deliver what it holds before it goes.
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (!transport_)
        return;
    // The desktop closes the link once it has read the end of the stream, so a
    // closed command connection means every byte before it was taken.
    if (commands_.WaitPeerClosed(options_.timeoutMs())) {
        out_ << "the desktop closed the link after the end of the stream\n";
    } else {
        err_ << "zucam-phone-sim: warning: the desktop kept the link open " << options_.timeoutMs()
             << " ms after the end of the stream\n";
    }
}

void PhoneSession::PrintTotals() {
    if (shutdownAccepted_) {
        bool closed = commands_.WaitPeerClosed(options_.timeoutMs());
        out_ << (closed ? "the desktop closed the link after shutdown\n"
                        : "the desktop kept the link open after shutdown\n");
    }
    if (options_.noPlay)
        return;
    const StreamSender::Counters& c = sender_.counters();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", scheduler_.Elapsed() / 1e6);
    out_ << "sent " << pictures_ << " pictures (" << c.videoPackets << " video packets), "
         << c.audioPackets << " audio packets, " << c.bytes << " payload bytes in " << seconds
         << " s\n";
}

}  // namespace phonesim
