// Repainting the main window's tree: a 642 × 707 window with the 640 × 480 picture, the strip and
// labels. At 30 frames per second a frame has 33 ms; the picture's own repaint must take a small part of it.
#include "platform/ui/Gdi.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/presenters/HeadlessPresenter.h"

#include <benchmark/benchmark.h>

#include <map>

namespace {

std::map<HWND, COLORREF> g_fill;
HDC g_frame = nullptr; // the picture, as a renderer holds its latest frame
HWND g_picture = nullptr;
long g_paints = 0;

LRESULT Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    ++g_paints;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    if (hwnd == g_picture) {
        StretchBlt(dc, 0, 0, client.right, client.bottom, g_frame, 0, 0, 640, 480, SRCCOPY);
    } else {
        HBRUSH brush = CreateSolidBrush(g_fill[hwnd]);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
    }
    EndPaint(hwnd, &ps);
    return 0;
}

struct Tree {
    HWND top = nullptr;

    Tree()
    {
        static bool ready = [] {
            InstallPresenter(CreateHeadlessPresenter());
            WNDCLASSEXW wc {};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = Proc;
            wc.lpszClassName = u"BenchWindow";
            RegisterClassExW(&wc);
            return true;
        }();
        (void)ready;
        g_frame = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = CreateCompatibleBitmap(g_frame, 640, 480);
        SelectObject(g_frame, bitmap);
        RECT all {0, 0, 640, 480};
        HBRUSH brush = CreateSolidBrush(RGB(90, 120, 160));
        FillRect(g_frame, &all, brush);
        DeleteObject(brush);

        top = Make(nullptr, {0, 0, 642, 707}, WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, RGB(43, 52, 64));
        HWND host = Make(top, {1, 111, 641, 591}, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, RGB(217, 218, 220));
        g_picture = Make(host, {0, 0, 640, 480}, WS_CHILD | WS_VISIBLE, 0);
        Make(top, {1, 593, 641, 682}, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, RGB(230, 230, 230));
        for (int i = 0; i < 4; ++i)
            Make(top, {10 + 150 * i, 685, 140 + 150 * i, 703}, WS_CHILD | WS_VISIBLE, RGB(255, 255, 255));
        Pump();
    }

    ~Tree()
    {
        DestroyWindow(top);
        HBITMAP bitmap = static_cast<HBITMAP>(SelectObject(g_frame, GetStockObject(WHITE_BRUSH)));
        DeleteDC(g_frame);
        DeleteObject(bitmap);
    }

    static HWND Make(HWND parent, RECT r, DWORD style, COLORREF color)
    {
        HWND hwnd = CreateWindowExW(0, u"BenchWindow", u"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
            parent, nullptr, nullptr, nullptr);
        g_fill[hwnd] = color;
        return hwnd;
    }

    static void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
};

void BM_FullRepaintOfTheMainWindowTree(benchmark::State& state)
{
    Tree tree;
    g_paints = 0;
    for (auto _ : state)
        RedrawWindow(tree.top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    state.counters["windows painted per repaint"] = static_cast<double>(g_paints) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FullRepaintOfTheMainWindowTree)->Unit(benchmark::kMillisecond);

void BM_RepaintOfThePictureAlone(benchmark::State& state)
{
    Tree tree;
    for (auto _ : state) {
        InvalidateRect(g_picture, nullptr, FALSE);
        UpdateWindow(g_picture);
    }
}
BENCHMARK(BM_RepaintOfThePictureAlone)->Unit(benchmark::kMillisecond);

} // namespace
