extern "C" {
#include <libavutil/log.h>
}

#include <iostream>
#include <string>

#include "app-identity.h"
#include "platform/child-process.h"
#include "platform/stop-request.h"
#include "tools/phone-sim/phone-session.h"
#include "tools/phone-sim/phone-sim-options.h"

int main(int argc, char** argv) {
    using phonesim::PhoneSimOptions;
    // A desktop that drops the stream must end in an error message, not SIGPIPE.
    platform::IgnoreBrokenPipe();
    // SIGINT/SIGTERM end the run the way --duration does: end of stream sent,
    // records complete, exit status 0.
    platform::CatchStopSignals();
    // Tests and scripts read the progress lines while the run goes on.
    std::cout.setf(std::ios::unitbuf);
    // libx264's statistics would drown the protocol output; real errors still show.
    av_log_set_level(AV_LOG_ERROR);
    PhoneSimOptions options;
    std::string error;
    switch (PhoneSimOptions::Parse(argc, argv, &options, &error)) {
        case PhoneSimOptions::Result::kHelp:
            std::cout << PhoneSimOptions::HelpText();
            return 0;
        case PhoneSimOptions::Result::kVersion:
            std::cout << "zucam-phone-sim " << app_identity::kVersion << " ("
                      << app_identity::kAppName << ")\n";
            return 0;
        case PhoneSimOptions::Result::kError:
            std::cerr << "zucam-phone-sim: " << error << "\n"
                      << "Try 'zucam-phone-sim --help'.\n";
            return 2;
        case PhoneSimOptions::Result::kRun:
            break;
    }
    phonesim::PhoneSession session(options, std::cout, std::cerr);
    return session.Run();
}
