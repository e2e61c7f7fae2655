#include "output-path.h"

#include "hublet/clock.h"
#include "hublet/interface.h"
#include "platform/files.h"
#include "platform/time.h"

namespace output_path {

std::string Compose(const std::string& saveDir, const char* nameTemplate) {
    std::string stamp = CD && CD->clock ? CD->clock->format("%Y%m%d%H%M%S")
                                        : platform::FormatLocalTime("%Y%m%d%H%M%S");
    std::string name = nameTemplate;
    size_t at = name.find("%1");
    if (at != std::string::npos)
        name.replace(at, 2, stamp);
    std::string path = saveDir;
    if (path.empty() || path.back() != '/')
        path += "/";
    return path + name;
}

bool Check(const std::string& saveDir, const std::string& path, std::string* failureMessage) {
    if (saveDir.empty() || !platform::FileExists(saveDir)) {
        if (failureMessage)
            *failureMessage = kMsgNoDirectory;
        return false;
    }
    const std::string probe = path + ".txt";
    if (!platform::WriteFreshFile(probe, "test")) {
        if (failureMessage)
            *failureMessage = kMsgNotWritable;
        return false;
    }
    platform::RemoveFile(probe);
    return true;
}

}  // namespace output_path
