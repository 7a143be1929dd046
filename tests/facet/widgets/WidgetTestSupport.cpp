#include "WidgetTestSupport.h"

#include "platform/sys/Module.h"
#include "platform/ui/WindowObject.h"

#include <cairo.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

constexpr int kMostMessagesPerSettle = 20000;

EngineMain* LoadEngine()
{
    HMODULE module = LoadLibraryW(Utf8ToWide(LUMO_FACET_LIBRARY).c_str());
    if (!module) {
        std::fprintf(stderr, "cannot load the engine (error %u)\n", GetLastError());
        return nullptr;
    }
    auto getFacet = reinterpret_cast<GetFacetFunction>(GetProcAddress(module, "GetFacet"));
    return getFacet ? getFacet() : nullptr;
}

double Channel(BYTE value)
{
    return value / 255.0;
}

WString WritePng(const std::filesystem::path& path, cairo_surface_t* surface)
{
    cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    return Utf8ToWide(path.string());
}

bool Near(long pixel, COLORREF color, int tolerance)
{
    int r = static_cast<int>((pixel >> 16) & 0xFF);
    int g = static_cast<int>((pixel >> 8) & 0xFF);
    int b = static_cast<int>(pixel & 0xFF);
    return std::abs(r - GetRValue(color)) <= tolerance && std::abs(g - GetGValue(color)) <= tolerance
        && std::abs(b - GetBValue(color)) <= tolerance;
}

} // namespace

EngineMain* WidgetEngine()
{
    static EngineMain* engine = LoadEngine();
    return engine;
}

void ObjectHolder::Reset()
{
    if (m_object)
        m_object->Release();
    m_object = nullptr;
}

EngineObject** ObjectHolder::Out()
{
    Reset();
    return &m_object;
}

PictureFolder::PictureFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lumo-widgets-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a picture folder");
    m_path = pattern;
}

PictureFolder::~PictureFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

WString PictureFolder::WriteCells(const std::string& name, int cellWidth, int cellHeight, const std::vector<COLORREF>& colors)
{
    int count = static_cast<int>(colors.size());
    return WritePicture(name, cellWidth * count, cellHeight, [&](int x, int) { return colors[static_cast<size_t>(x / cellWidth)]; });
}

WString PictureFolder::WritePicture(const std::string& name, int width, int height, const std::function<COLORREF(int, int)>& paint)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            COLORREF c = paint(x, y);
            cairo_set_source_rgb(cr, Channel(GetRValue(c)), Channel(GetGValue(c)), Channel(GetBValue(c)));
            cairo_rectangle(cr, x, y, 1, 1);
            cairo_fill(cr);
        }
    }
    cairo_destroy(cr);
    return WritePng(m_path / name, surface);
}

WString PictureFolder::Missing(const std::string& name) const
{
    return Utf8ToWide((m_path / name).string());
}

void WidgetTest::SetUp()
{
    UiTest::SetUp();
    m_engine = WidgetEngine();
    ASSERT_NE(m_engine, nullptr) << "the engine did not load";
}

void WidgetTest::TearDown()
{
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
        if (IsWindow(*it))
            DestroyWindow(*it);
    }
    m_windows.clear();
    UiTest::TearDown();
}

HWND WidgetTest::MakeWindow(int width, int height, const WCHAR* title)
{
    HWND hwnd = CreateWindowExW(0, m_class.Name(), title, WS_POPUP | WS_VISIBLE, 40, 40, width, height, nullptr, nullptr,
        nullptr, nullptr);
    EXPECT_NE(hwnd, nullptr);
    m_windows.push_back(hwnd);
    return hwnd;
}

HWND WidgetTest::MakeChild(HWND parent, const WCHAR* className, const WCHAR* text, DWORD style, RECT r, int id)
{
    HWND hwnd = CreateWindowExW(0, className, text, WS_CHILD | style, r.left, r.top, r.right - r.left, r.bottom - r.top,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    EXPECT_NE(hwnd, nullptr) << "class " << WideToUtf8(ToView(className));
    return hwnd;
}

void WidgetTest::Object(HWND hwnd, int number, ObjectHolder& holder)
{
    ASSERT_EQ(m_engine->GetWindowObject(hwnd, number, holder.Out()), S_OK) << "object " << number;
    ASSERT_TRUE(holder);
}

long WidgetTest::Pixel(HWND hwnd, int x, int y)
{
    POINT origin = OffsetInTopLevel(hwnd);
    return Presenter().PixelAt(TopLevelOf(hwnd), origin.x + x, origin.y + y);
}

int WidgetTest::CountNear(HWND hwnd, COLORREF color, int tolerance, const RECT* area)
{
    RECT r {};
    GetClientRect(hwnd, &r);
    if (area)
        r = *area;
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            if (Near(Pixel(hwnd, x, y), color, tolerance))
                ++count;
        }
    }
    return count;
}

void WidgetTest::Settle()
{
    MSG msg;
    for (int i = 0; i < kMostMessagesPerSettle; ++i) {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            return;
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    ADD_FAILURE() << "watchdog: the queue did not drain within " << kMostMessagesPerSettle << " messages";
}

std::vector<RecordedMessage> WidgetTest::Messages(HWND hwnd, UINT message)
{
    std::vector<RecordedMessage> found;
    for (const auto& m : RecordingClass::Log()) {
        if (m.hwnd == hwnd && m.message == message)
            found.push_back(m);
    }
    return found;
}
