#include "platform/base/Strings.h"
#include "platform/ui/Gdi.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A memory bitmap the size of a toolbar label, with the Chinese UI font selected.
class LabelCanvas {
public:
    LabelCanvas()
    {
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateCompatibleBitmap(m_dc, 160, 24);
        m_oldBitmap = SelectObject(m_dc, m_bitmap);
        m_font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, GB2312_CHARSET, 0, 0, 0, 0, u"宋体");
        m_oldFont = SelectObject(m_dc, m_font);
        SetBkMode(m_dc, TRANSPARENT);
        SetTextColor(m_dc, RGB(255, 255, 255));
    }
    ~LabelCanvas()
    {
        SelectObject(m_dc, m_oldFont);
        DeleteObject(m_font);
        SelectObject(m_dc, m_oldBitmap);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    HDC Dc() const { return m_dc; }

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_oldBitmap;
    HFONT m_font;
    HGDIOBJ m_oldFont;
};

} // namespace

// The same label drawn on every paint, as a toolbar does.
static void BM_DrawTextCjkLabel(benchmark::State& state)
{
    LabelCanvas canvas;
    for (auto _ : state) {
        RECT rect {0, 0, 160, 24};
        benchmark::DoNotOptimize(DrawTextW(canvas.Dc(), u"拍照", -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE));
    }
}
BENCHMARK(BM_DrawTextCjkLabel);

// A label that changes on every paint (a counter), so nothing laid out before can be reused.
static void BM_DrawTextChangingCjkLabel(benchmark::State& state)
{
    LabelCanvas canvas;
    int frame = 0;
    for (auto _ : state) {
        WString text = u"录像 " + Utf8ToWide(std::to_string(frame++ % 1000));
        RECT rect {0, 0, 160, 24};
        benchmark::DoNotOptimize(DrawTextW(canvas.Dc(), text.c_str(), -1, &rect, DT_LEFT | DT_VCENTER | DT_SINGLELINE));
    }
}
BENCHMARK(BM_DrawTextChangingCjkLabel);

static void BM_CalcRectCjkLabel(benchmark::State& state)
{
    LabelCanvas canvas;
    for (auto _ : state) {
        RECT rect {0, 0, 0, 0};
        benchmark::DoNotOptimize(DrawTextW(canvas.Dc(), u"设置", -1, &rect, DT_CALCRECT | DT_SINGLELINE));
    }
}
BENCHMARK(BM_CalcRectCjkLabel);
