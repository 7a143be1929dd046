// The suite's camera-protection program, as far as this module meets it: it takes the request
// "OpenGlint" and records it with its time in the user's state folder.
#include "suitelibs/StateFolder.h"

#include <cstdio>
#include <cstring>
#include <ctime>

int main(int argc, char** argv)
{
    if (argc != 2 || std::strcmp(argv[1], "OpenGlint") != 0) {
        std::fprintf(stderr, "usage: TernLensward OpenGlint\n");
        return 2;
    }
    std::string folder = SuiteStateFolder();
    if (folder.empty())
        return 1;
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm utc {};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return AppendLine(folder + "/lensward.log", std::string(stamp) + " " + argv[1]) ? 0 : 1;
}
