// Helpers for the widget tests: the built engine loaded as the program loads it, pictures written
// with cairo, a window to host the controls, and pixel checks on the headless presenter's surfaces.
#pragma once

#include "UiTestSupport.h"

#include "platform/base/Strings.h"
#include "ui/Engine.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The main object of Facet.so, loaded once per test program; nullptr when it did not load.
EngineMain* WidgetEngine();

// An engine object released when the holder goes.
class ObjectHolder {
public:
    ObjectHolder() = default;
    ObjectHolder(const ObjectHolder&) = delete;
    ObjectHolder& operator=(const ObjectHolder&) = delete;
    ~ObjectHolder() { Reset(); }
    void Reset();
    EngineObject** Out();
    EngineObject* operator->() const { return m_object; }
    EngineObject* Get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    EngineObject* m_object = nullptr;
};

// A folder under the temporary folder, removed with what is in it.
class PictureFolder {
public:
    PictureFolder();
    ~PictureFolder();
    PictureFolder(const PictureFolder&) = delete;
    PictureFolder& operator=(const PictureFolder&) = delete;
    // A PNG of `colors.size()` cells side by side, each cellWidth × cellHeight of one colour.
    WString WriteCells(const std::string& name, int cellWidth, int cellHeight, const std::vector<COLORREF>& colors);
    // A PNG painted pixel by pixel.
    WString WritePicture(const std::string& name, int width, int height, const std::function<COLORREF(int, int)>& paint);
    WString Missing(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

// 0xRRGGBB as PixelAt reports it.
constexpr long AsPixel(COLORREF color)
{
    return static_cast<long>(GetRValue(color)) << 16 | static_cast<long>(GetGValue(color)) << 8 | GetBValue(color);
}

class WidgetTest : public UiTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A visible top-level window of the recording class; destroyed after the test.
    HWND MakeWindow(int width, int height, const WCHAR* title = u"");
    HWND MakeChild(HWND parent, const WCHAR* className, const WCHAR* text, DWORD style, RECT r, int id);
    // Skins the window through the engine and gets its object of that number (checked to succeed).
    void Object(HWND hwnd, int number, ObjectHolder& holder);

    // A pixel of a window's client area (any window), as the presenter shows it.
    long Pixel(HWND hwnd, int x, int y);
    // Pixels of the client rectangle `area` (whole client when null) close to `color` in every channel.
    int CountNear(HWND hwnd, COLORREF color, int tolerance = 40, const RECT* area = nullptr);
    // Messages of the recording class's windows with that number, in order.
    std::vector<RecordedMessage> Messages(HWND hwnd, UINT message);
    // Runs what is queued (input, posted messages, paints); fails the test when it never ends.
    void Settle();

    EngineMain* m_engine = nullptr;
    RecordingClass m_class {u"FacetWidgetHost"};
    PictureFolder m_pictures;
    std::vector<HWND> m_windows;
};
