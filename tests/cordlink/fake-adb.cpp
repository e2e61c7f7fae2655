#include "tests/cordlink/fake-adb.h"

#include <filesystem>
#include <fstream>

namespace cordlinktest {

FakeAdb::FakeAdb(const std::string& body) {
    {
        std::ofstream script(path());
        script << "#!/bin/sh\n"
               << "line=\n"
               << "for a in \"$@\"; do line=\"$line[$a]\"; done\n"
               << "printf '%s\\n' \"$line\" >> '" << dir_.file("calls.log") << "'\n"
               << "echo $$ > '" << dir_.file("pid") << "'\n"
               << body << "\n";
    }
    namespace fs = std::filesystem;
    fs::permissions(path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
}

std::wstring FakeAdb::widePath() const {
    const std::string p = path();
    return std::wstring(p.begin(), p.end());
}

std::vector<std::string> FakeAdb::calls() const {
    std::vector<std::string> result;
    std::ifstream in(dir_.file("calls.log"));
    std::string line;
    while (std::getline(in, line))
        result.push_back(line);
    return result;
}

long FakeAdb::lastPid() const {
    std::ifstream in(dir_.file("pid"));
    long pid = -1;
    in >> pid;
    return pid;
}

}  // namespace cordlinktest
