// Helpers for the application tests: a loaded module whose file lies in a private temporary tree,
// so that the folders "beside the module" are the test's own.
#pragma once

#include "platform/base/Strings.h"
#include "platform/sys/Module.h"
#include "tests/platform/sys/FilesTestSupport.h"

#include <filesystem>
#include <string>

class TempModule {
public:
    // Copies the test module to `folder` under the temporary folder and loads it from there.
    TempModule(const TempFolder& temp, const std::string& folder)
    {
        std::filesystem::create_directories(temp.Native(folder));
        std::string copy = temp.Native(folder) + "/libcamlet.so";
        std::filesystem::copy_file(LUMO_APP_TEST_MODULE, copy);
        m_handle = LoadLibraryW(Utf8ToWide(copy).c_str());
        m_folder = std::filesystem::canonical(temp.Native(folder)).string();
    }
    ~TempModule()
    {
        if (m_handle)
            FreeLibrary(m_handle);
    }
    TempModule(const TempModule&) = delete;
    TempModule& operator=(const TempModule&) = delete;

    HMODULE Handle() const { return m_handle; }
    // The module's folder as the loader sees it, and the same with `up` components removed.
    std::string Folder(int up = 0) const
    {
        std::filesystem::path folder(m_folder);
        for (int i = 0; i < up; ++i)
            folder = folder.parent_path();
        return folder.string();
    }
    WString WideFolder(int up = 0) const { return Utf8ToWide(Folder(up)); }

private:
    HMODULE m_handle = nullptr;
    std::string m_folder;
};
