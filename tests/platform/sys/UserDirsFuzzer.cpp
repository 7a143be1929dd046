// libFuzzer target: the user-dirs.dirs reader, through the documents folder it decides. The input
// is the file in a private configuration folder.
#include "platform/sys/SpecialFolders.h"
#include "support/FuzzSupport.h"

#include <sys/stat.h>

#include <cstdlib>

namespace {

struct Folders {
    std::string home;
    std::string config;
};

const Folders& Prepare()
{
    static const Folders folders = [] {
        Folders f;
        f.home = fuzz::ScratchFolder() + "/home";
        f.config = fuzz::ScratchFolder() + "/config";
        mkdir(f.home.c_str(), 0700);
        mkdir(f.config.c_str(), 0700);
        setenv("HOME", f.home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", f.config.c_str(), 1);
        return f;
    }();
    return folders;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Folders& folders = Prepare();
    std::string content = fuzz::Text(data, size);
    fuzz::Check(fuzz::WriteFile(folders.config + "/user-dirs.dirs", content), "the input file is written");

    WCHAR path[MAX_PATH] = {};
    HRESULT result = SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path);
    if (result != S_OK)
        return 0;
    std::string folder = WideToUtf8(ToView(path));
    fuzz::Check(!folder.empty() && folder.front() == '/', "the documents folder is an absolute path");
    fuzz::Check(folder == "/" || folder.back() != '/', "the documents folder does not end with a separator");
    fuzz::Check(folder != folders.home, "the home folder itself is not the documents folder");
    if (folder != folders.home + "/Documents")
        fuzz::Check(content.find("XDG_DOCUMENTS_DIR") != std::string::npos, "another folder comes from the file");
    return 0;
}
