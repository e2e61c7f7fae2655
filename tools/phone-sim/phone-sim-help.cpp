#include "tools/phone-sim/phone-sim-options.h"

namespace phonesim {

std::string PhoneSimOptions::HelpText() {
    return R"(Usage: zucam-phone-sim [OPTIONS]

A command-line phone for ZuCam: it asks a ZuCam desktop for a stream (push-play),
streams H.264 video and 16-bit PCM audio at real time over TCP or Zup2p, and sends
phone commands, printing every reply. It sends only to the desktop it is given.

Finding the desktop:
  --host ADDR            desktop address (default 127.0.0.1)
  --port N               desktop command port (default 10080)
  --discover PORT        wait for the desktop's UDP announcement {"ip","name","port"}
                         on PORT (any local address; ZuCam announces to 5008) and use
                         the ip and port it names; excludes --host and --port
  --discover-timeout S   give up waiting for an announcement after S seconds (default 5)

Session:
  --name TEXT            phone name sent in push-play (default zucam-phone-sim)
  --udp                  stream over Zup2p: push-play asks for "udpPort" and every
                         stream byte goes out as reliable Zup2p data messages
  --udp-chunk N          cut the Zup2p byte stream into messages of exactly N bytes
                         (the last one before each pause shorter): packets sent at the
                         same moment share messages, so message and packet boundaries
                         do not line up (default: one message per packet)
  --no-play              no push-play and no stream: send the commands only
  --timeout S            limit for every network wait: connect, reply, send
                         (default 5)

Video (at most one source):
  --video FILE           H.264 Annex B file, cut into access units; SPS and PPS go
                         out as frame kind 2, IDR pictures as kind 1, others kind 0
  --fps N                frame rate for --video (default 30)
  --pattern WxH@FPS      generated moving test picture encoded with libx264
                         (ultrafast, zerolatency); the frame number is drawn as 16
                         black/white blocks along the top edge
  --pattern-sizes WxH,...  more sizes for --pattern, taken in turn with the
                         --pattern size, a new one every picture (each an IDR)
  --gop N                key-frame interval for --pattern (default 2 x FPS)
  --bitrate KBPS         target bit rate for --pattern (default constant quality)

Audio (at most one source), sent in blocks at real time:
  --wav FILE             16-bit PCM WAV file (its own rate and channels)
  --tone HZ              sine tone
  --rate R               tone sample rate, 8000 to 384000 (default 48000)
  --channels C           tone channels, 1 to 8 (default 2)
  --tone-level DB        tone peak level in dBFS, -96 to 0 (default -6)
  --block-ms N           audio block length in milliseconds (default 20)

Length of the run (the first end reached ends it):
  --duration S           stream for S seconds
  --frames N             send N pictures (N audio blocks when there is no video)
  --loop                 start --video / --wav over at their end
  The end of a --video or --wav file (without --loop) also ends the run; commands
  due after the end are not sent (a warning names them). Without any of these,
  --pattern and --tone go on until the program is stopped (SIGINT or SIGTERM end
  the run like --duration would, exit status 0); with commands only,
  the run ends after the last command. At the end the stream is closed and the
  program waits (up to --timeout) for the desktop to close the link, which it
  does once it has read every byte.

Commands (repeatable), each reply printed as raw JSON and as a one-line summary:
  --command NAME[@S]     send NAME S seconds into the stream (without @S: as the
                         stream starts, in the order given). NAME is one of
                         ping (-1), device-name (1001), screenshot (4),
                         record-start / record-stop / record-query (5 with "type"
                         1 / 0 / 2), hold (6), shutdown (2), or type:N for any other
                         command number with an empty "data" object.
                         After shutdown the desktop closes the link and the run ends.

Records for tests:
  --log-packets FILE     one line per stream packet sent, in order:
                           token len=L fnv1a64=H
                           video kind=K len=L fnv1a64=H
                           audio rate=R channels=C bits=16 len=L fnv1a64=H
                         H: 64-bit FNV-1a of the payload, 16 hex digits
  --save-video FILE      exactly the Annex B bytes sent as video payloads, in order

Exit status: 0 the run completed; 1 the desktop refused or failed (connection
refused or closed, failure reply "type" 1, no stream port, time-outs) or a file
could not be read or written; 2 bad command line.
  --version              the version
  -h, --help             this text
)";
}

}  // namespace phonesim
