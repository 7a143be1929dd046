// The capture engine's test fixture: a private settings folder, a main window with the preview
// host inside it (both of a class that records their messages), and the engine's message boxes.
#pragma once

#include "capture/CaptureEngine.h"
#include "platform/sys/IniFile.h"
#include "platform/ui/ModalScript.h"
#include "tests/platform/media/MediaTestSupport.h"
#include "tests/platform/sys/FilesTestSupport.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class CaptureEngineFixture : public MediaTest {
protected:
    void SetUp() override
    {
        MediaTest::SetUp();
        ModalScript::Reset();
        m_config = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", m_temp.Native());
        std::filesystem::create_directories(m_temp.Native("Ternsafe"));
        static RecordingClass mainClass(u"EngineTestMain");
        m_main = CreateWindowExW(0, mainClass.Name(), u"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 660, 620, nullptr,
                                 nullptr, nullptr, nullptr);
        m_video = CreateWindowExW(0, mainClass.Name(), u"video", WS_CHILD | WS_VISIBLE, 1, 111, 647, 481, m_main, nullptr,
                                  nullptr, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(m_main);
        ModalScript::Reset();
        MediaTest::TearDown();
    }

    std::string SettingsFile() const { return m_temp.Native("Ternsafe/radazadadi/camera.ini"); }
    void Remember(const char16_t* name)
    {
        std::filesystem::create_directories(m_temp.Native("Ternsafe/radazadadi"));
        WritePrivateProfileStringW(u"CAMERA", u"VideoDevice", name, Utf8ToWide(SettingsFile()).c_str());
    }
    WString Remembered() const
    {
        WCHAR name[120] = {};
        GetPrivateProfileStringW(u"CAMERA", u"VideoDevice", u"<none>", name, 120, Utf8ToWide(SettingsFile()).c_str());
        return name;
    }
    std::vector<WString> Messages() const
    {
        std::vector<WString> texts;
        for (const RecordedMessageBox& box : ModalScript::MessageBoxes())
            texts.push_back(box.text);
        return texts;
    }
    // Pumps until the graph posts its notification to the main window (past the `handled` first
    // entries of the log) and lets the engine read the events.
    bool HandleNextGraphEvent(CCaptureEngine& engine, size_t* handled, DWORD watchdogMs = 10000)
    {
        return PumpUntil(
            [&] {
                auto& log = RecordingClass::Log();
                for (; *handled < log.size(); ++*handled) {
                    if (log[*handled].hwnd == m_main && log[*handled].message == kMessageGraphNotify) {
                        ++*handled;
                        engine.OnGraphEvent();
                        return true;
                    }
                }
                return false;
            },
            watchdogMs);
    }

    TempFolder m_temp;
    std::unique_ptr<ScopedEnv> m_config;
    HWND m_main = nullptr;
    HWND m_video = nullptr;
};
