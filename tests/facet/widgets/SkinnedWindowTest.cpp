#include "WidgetTestSupport.h"

#include "platform/ui/Icon.h"
#include "platform/ui/Paint.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

constexpr COLORREF kTopLeft = RGB(255, 0, 0);
constexpr COLORREF kTopRight = RGB(0, 255, 0);
constexpr COLORREF kBottomLeft = RGB(0, 0, 255);
constexpr COLORREF kBottomRight = RGB(255, 255, 0);
constexpr COLORREF kEdge = RGB(40, 40, 40);
constexpr COLORREF kCentre = RGB(90, 90, 90);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr int kCorner = 20;
constexpr int kCaptionId = 32700;
constexpr int kCaptionHeight = 30; // the default skin's
constexpr int kButtonWidth = 32;   // the caption's minimise and close buttons, at its right end

// A 60 × 60 frame: four 20 × 20 corners of their own colours, edges and centre of others.
COLORREF FramePixel(int x, int y)
{
    bool left = x < kCorner;
    bool right = x >= 60 - kCorner;
    bool top = y < kCorner;
    bool bottom = y >= 60 - kCorner;
    if (top && left)
        return kTopLeft;
    if (top && right)
        return kTopRight;
    if (bottom && left)
        return kBottomLeft;
    if (bottom && right)
        return kBottomRight;
    return left || right || top || bottom ? kEdge : kCentre;
}

class SkinnedWindowTest : public WidgetTest {
protected:
    HWND m_window = nullptr;
    ObjectHolder m_binding;

    void Skin(int width, int height, const WCHAR* title = u"")
    {
        m_window = MakeWindow(width, height, title);
        ASSERT_EQ(m_engine->AttachWindow(m_window), S_OK);
        Object(m_window, kEngineWindowBinding, m_binding);
        ASSERT_EQ(m_binding->Setup(1, 1), S_OK);
        ASSERT_EQ(m_binding->Setup(9, 0), S_OK);
        Settle();
    }

    void SetFrame()
    {
        WString frame = m_pictures.WritePicture("frame.png", 60, 60, FramePixel);
        RECT centre {kCorner, kCorner, 60 - kCorner, 60 - kCorner};
        ASSERT_EQ(m_binding->SetFrameImage(frame.c_str(), 7, &centre), S_OK);
        Settle();
    }

    HWND Caption() { return GetDlgItem(m_window, kCaptionId); }

    // As the program does after attaching; the caption shows the button from its next paint.
    void AddMinimiseBox()
    {
        SetWindowLongPtrW(m_window, GWL_STYLE, GetWindowLongPtrW(m_window, GWL_STYLE) | WS_MINIMIZEBOX);
        InvalidateRect(Caption(), nullptr, TRUE);
        Settle();
    }

    std::vector<UINT> Commands()
    {
        std::vector<UINT> commands;
        for (const auto& m : Messages(m_window, WM_COMMAND))
            commands.push_back(LOWORD(m.wParam));
        return commands;
    }

    // Corners as they are, the pixels just inside them from the edges.
    void ExpectCornersUnscaled(int width, int height)
    {
        EXPECT_EQ(Pixel(m_window, 0, kCaptionHeight + 1), AsPixel(kEdge)) << "left edge under the caption";
        EXPECT_EQ(Pixel(m_window, 1, 1), AsPixel(kTopLeft));
        EXPECT_EQ(Pixel(m_window, kCorner - 1, kCorner - 1), AsPixel(kTopLeft));
        EXPECT_EQ(Pixel(m_window, width - kCorner, 1), AsPixel(kTopRight));
        EXPECT_EQ(Pixel(m_window, 0, height - kCorner), AsPixel(kBottomLeft));
        EXPECT_EQ(Pixel(m_window, kCorner - 1, height - 1), AsPixel(kBottomLeft));
        EXPECT_EQ(Pixel(m_window, kCorner, height - 1), AsPixel(kEdge));
        EXPECT_EQ(Pixel(m_window, 0, height - kCorner - 1), AsPixel(kEdge));
        EXPECT_EQ(Pixel(m_window, width - kCorner, height - kCorner), AsPixel(kBottomRight));
        EXPECT_EQ(Pixel(m_window, width - 1, height - 1), AsPixel(kBottomRight));
        EXPECT_EQ(Pixel(m_window, width - kCorner - 1, height - 1), AsPixel(kEdge));
        EXPECT_EQ(Pixel(m_window, width / 2, height / 2), AsPixel(kCentre));
    }
};

TEST_F(SkinnedWindowTest, AttachingAddsOneCaptionAcrossTheTop)
{
    Skin(300, 200);
    HWND caption = Caption();
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(GetParent(caption), m_window);
    EXPECT_TRUE(IsWindowVisible(caption));
    RECT r {};
    GetWindowRect(caption, &r);
    RECT window {};
    GetWindowRect(m_window, &window);
    EXPECT_EQ(r.left, window.left);
    EXPECT_EQ(r.top, window.top);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, kCaptionHeight);
    ASSERT_EQ(m_engine->AttachWindow(m_window), S_OK);
    int captions = 0;
    for (HWND child = GetWindow(m_window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        captions += GetDlgCtrlID(child) == kCaptionId ? 1 : 0;
    EXPECT_EQ(captions, 1);
    // The caption follows the window's width.
    SetWindowPos(m_window, nullptr, 0, 0, 420, 250, SWP_NOMOVE | SWP_NOZORDER);
    Settle();
    GetWindowRect(caption, &r);
    EXPECT_EQ(r.right - r.left, 420);
}

TEST_F(SkinnedWindowTest, PreviousProcedureStillGetsTheMessagesTheSkinLeaves)
{
    Skin(300, 200);
    RecordingClass::Log().clear();
    SendMessageW(m_window, WM_USER + 7, 1, 2);
    SetWindowTextW(m_window, u"Lumo");
    EXPECT_EQ(Messages(m_window, WM_USER + 7).size(), 1u);
    EXPECT_EQ(Messages(m_window, WM_SETTEXT).size(), 1u);
    WCHAR text[16] = {};
    GetWindowTextW(m_window, text, 16);
    EXPECT_EQ(WString(text), u"Lumo");
}

TEST_F(SkinnedWindowTest, FrameCornersStayUnscaledWhenTheWindowGrows)
{
    Skin(200, 150);
    SetFrame();
    ExpectCornersUnscaled(200, 150);
    SetWindowPos(m_window, nullptr, 0, 0, 420, 330, SWP_NOMOVE | SWP_NOZORDER);
    Settle();
    ExpectCornersUnscaled(420, 330);
    EXPECT_EQ(Pixel(m_window, kCorner, 200), AsPixel(kCentre));
}

TEST_F(SkinnedWindowTest, WindowWithoutItsFramePictureGetsThePlainSkin)
{
    Skin(200, 150);
    RECT centre {1, 1, 2, 2};
    EXPECT_EQ(m_binding->SetFrameImage(m_pictures.Missing("none.png").c_str(), 7, &centre), E_FAIL);
    Settle();
    long body = Pixel(m_window, 100, 100);
    EXPECT_EQ(body, AsPixel(RGB(217, 218, 220)));
    // A dark caption band over the top, lighter at its top than at its bottom.
    long top = Pixel(m_window, 100, 1);
    long bottom = Pixel(m_window, 100, kCaptionHeight - 2);
    EXPECT_LT(top & 0xFF, 0x60);
    EXPECT_GT(top & 0xFF, bottom & 0xFF);
    EXPECT_EQ(Pixel(m_window, 100, kCaptionHeight + 1), body);
}

TEST_F(SkinnedWindowTest, SetupTurnsTheFrameOffAndOn)
{
    Skin(200, 150);
    SetFrame();
    // With the frame on the skin erases the background; off, the window's own procedure does.
    RecordingClass::Log().clear();
    InvalidateRect(m_window, nullptr, TRUE);
    Settle();
    EXPECT_TRUE(Messages(m_window, WM_ERASEBKGND).empty());
    EXPECT_EQ(m_binding->Setup(1, 0), S_OK);
    Settle();
    EXPECT_FALSE(Messages(m_window, WM_ERASEBKGND).empty());
    EXPECT_EQ(m_binding->Setup(1, 1), S_OK);
    RecordingClass::Log().clear();
    Settle();
    EXPECT_TRUE(Messages(m_window, WM_ERASEBKGND).empty());
    EXPECT_EQ(Pixel(m_window, 100, 100), AsPixel(kCentre));

    EXPECT_EQ(m_binding->Setup(5, 0), E_INVALIDARG);
    EXPECT_EQ(m_binding->SetFrameImage(nullptr, 3, nullptr), E_INVALIDARG);
    ObjectHolder other;
    EXPECT_EQ(m_binding->QueryObject(10002, other.Out()), S_FALSE);
    EXPECT_FALSE(other);
    EXPECT_EQ(m_binding->QueryObject(10010, other.Out()), S_FALSE);
    EXPECT_EQ(m_binding->QueryObject(kEngineBase, other.Out()), S_OK);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->Refresh(), S_OK);
    Settle();
    EXPECT_EQ(Pixel(m_window, 100, 100), AsPixel(kCentre));
}

TEST_F(SkinnedWindowTest, CaptionShowsTheTitleInWhite)
{
    Skin(300, 200);
    SetFrame();
    HWND caption = Caption();
    RECT title {8, 0, 200, kCaptionHeight};
    EXPECT_EQ(CountNear(caption, kWhite, 30, &title), 0);
    SetWindowTextW(caption, u"Lumo  视频录制中 …");
    Settle();
    EXPECT_GT(CountNear(caption, kWhite, 30, &title), 20);
    // Without its own text the caption shows the window's.
    SetWindowTextW(caption, u"");
    Settle();
    EXPECT_EQ(CountNear(caption, kWhite, 30, &title), 0);
    SetWindowTextW(m_window, u"Lumo");
    Settle();
    EXPECT_GT(CountNear(caption, kWhite, 30, &title), 10);
}

TEST_F(SkinnedWindowTest, CloseSendsCommandTwoAndTheWindowMayGoAway)
{
    Skin(300, 200);
    HWND caption = Caption();
    RecordingClass::handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
        if (hwnd != m_window || message != WM_COMMAND || LOWORD(wParam) != IDCANCEL)
            return false;
        DestroyWindow(hwnd);
        *result = 0;
        return true;
    };
    Presenter().Click(caption, {300 - kButtonWidth / 2, kCaptionHeight / 2});
    Settle();
    EXPECT_EQ(Commands(), (std::vector<UINT> {IDCANCEL}));
    EXPECT_FALSE(IsWindow(m_window));
    EXPECT_FALSE(IsWindow(caption));
}

TEST_F(SkinnedWindowTest, CaptionButtonsShowTheirHoverAndMinimise)
{
    Skin(300, 200);
    SetFrame();
    HWND caption = Caption();
    POINT minimise {300 - kButtonWidth - kButtonWidth / 2, 4};
    // No minimise box, no minimise button.
    Presenter().Click(caption, minimise);
    Settle();
    EXPECT_FALSE(IsIconic(m_window));
    AddMinimiseBox();
    Presenter().MovePointer(m_window, {150, 150});
    Settle();
    long before = Pixel(caption, minimise.x, minimise.y);
    Presenter().MovePointer(caption, minimise);
    Settle();
    EXPECT_NE(Pixel(caption, minimise.x, minimise.y), before);
    Presenter().MovePointer(m_window, {150, 150});
    Settle();
    EXPECT_EQ(Pixel(caption, minimise.x, minimise.y), before);
    Presenter().Click(caption, minimise);
    Settle();
    EXPECT_TRUE(IsIconic(m_window));
    EXPECT_TRUE(Commands().empty());
}

TEST_F(SkinnedWindowTest, CaptionLinkSendsItsCommand)
{
    Skin(400, 200);
    AddMinimiseBox();
    ObjectHolder captionObject;
    Object(m_window, kEngineCaption, captionObject);
    RECT spacing {0, 0, 10, 10};
    ASSERT_EQ(captionObject->AddCaptionCommand(101, u"在“我的电脑”中添加摄像头图标", &spacing), S_OK);
    EXPECT_EQ(captionObject->AddCaptionCommand(102, u"", &spacing), E_INVALIDARG);
    HICON icon = LoadCursorW(nullptr, IDC_ARROW);
    EXPECT_EQ(captionObject->SetCaptionIcon(icon), S_OK);
    Settle();
    // The link ends 10 pixels and a margin left of the two buttons.
    int linkRight = 400 - 2 * kButtonWidth - 8 - 10;
    Presenter().Click(Caption(), {linkRight - 6, kCaptionHeight / 2});
    Settle();
    EXPECT_EQ(Commands(), (std::vector<UINT> {101}));
    EXPECT_EQ(Presenter().Cursor(), CursorShape::Hand);

    ObjectHolder same;
    Object(Caption(), kEngineCaption, same);
    EXPECT_EQ(same->SetCaptionIcon(nullptr), S_OK);
}

TEST_F(SkinnedWindowTest, CaptionCommandSetUpAgainKeepsOneLink)
{
    Skin(400, 200);
    SetFrame();
    ObjectHolder captionObject;
    Object(m_window, kEngineCaption, captionObject);
    RECT spacing {0, 0, 10, 10};
    RECT links {kCorner, 0, 400 - kButtonWidth, kCaptionHeight};
    ASSERT_EQ(captionObject->AddCaptionCommand(101, u"添加", &spacing), S_OK);
    Settle();
    int once = CountNear(Caption(), kWhite, 30, &links);
    EXPECT_GT(once, 10);
    // A skin reload sets the caption up again.
    ASSERT_EQ(m_engine->AttachWindow(m_window), S_OK);
    ASSERT_EQ(captionObject->AddCaptionCommand(101, u"添加", &spacing), S_OK);
    Settle();
    EXPECT_EQ(CountNear(Caption(), kWhite, 30, &links), once);
    // Without a minimise box the link sits next to the close button.
    Presenter().Click(Caption(), {400 - kButtonWidth - 8 - 10 - 4, kCaptionHeight / 2});
    Settle();
    EXPECT_EQ(Commands(), (std::vector<UINT> {101}));
}

TEST_F(SkinnedWindowTest, PressOnTheFreeCaptionGoesToTheWindow)
{
    Skin(300, 200);
    Presenter().Click(Caption(), {120, 10});
    Settle();
    auto presses = Messages(m_window, WM_LBUTTONDOWN);
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(presses[0].lParam), 120);
    EXPECT_EQ(GET_Y_LPARAM(presses[0].lParam), 10);
    EXPECT_TRUE(Commands().empty());
}

TEST_F(SkinnedWindowTest, TerminateGivesTheWindowBack)
{
    Skin(300, 200);
    SetFrame();
    HWND label = MakeChild(m_window, u"Static", u"[.]color=rgb(255,0,0)[/.]text", WS_VISIBLE, {20, 60, 200, 80}, 1042);
    ASSERT_EQ(m_engine->AttachWindow(m_window), S_OK);
    WNDCLASSEXW statics {};
    ASSERT_TRUE(GetClassInfoExW(nullptr, u"Static", &statics));
    EXPECT_NE(GetWindowLongPtrW(label, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(statics.lpfnWndProc));

    m_engine->Terminate();
    Settle();
    EXPECT_EQ(Caption(), nullptr);
    EXPECT_EQ(GetWindowLongPtrW(label, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(statics.lpfnWndProc));
    RecordingClass::Log().clear();
    InvalidateRect(m_window, nullptr, TRUE);
    Settle();
    EXPECT_FALSE(Messages(m_window, WM_ERASEBKGND).empty()) << "the window erases itself again";
    ObjectHolder none;
    EXPECT_EQ(m_engine->GetWindowObject(m_window, kEngineWindowBinding, none.Out()), S_FALSE);
    // The engine skins again after a new start.
    ASSERT_EQ(m_engine->AttachWindow(m_window), S_OK);
    EXPECT_NE(Caption(), nullptr);
}

// A skin whose facet.xml holds `buttons` (CAPTIONBUTTON elements) and the default colours otherwise.
class SkinButtonsTest : public SkinnedWindowTest {
protected:
    static constexpr int kFullScreen = 1041;
    static constexpr int kResolution = 10003;

    void TearDown() override
    {
        // Back to no skin at all, as the other widget tests expect.
        m_engine->LoadSkin(nullptr, u"", u"");
        SkinnedWindowTest::TearDown();
    }

    void LoadButtons(const std::string& buttons)
    {
        WString path = m_pictures.Missing("skin/facet.xml");
        std::filesystem::create_directories(std::filesystem::path(WideToUtf8(path)).parent_path());
        std::ofstream(WideToUtf8(path)) << "<?xml version='1.0' encoding='utf-8'?><Facet.Config>" << buttons
                                        << "</Facet.Config>";
        ASSERT_EQ(m_engine->LoadSkin(nullptr, path.c_str(), m_pictures.Missing("skin").c_str()), S_OK);
    }

    // The n-th button left of minimise (0 is the nearest), in a 400-pixel caption with a minimise box.
    static RECT ButtonLeftOfMinimise(int n)
    {
        LONG right = 400 - 2 * kButtonWidth - n * kButtonWidth;
        return {right - kButtonWidth, 0, right, kCaptionHeight};
    }
    static POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

    // The caption's tooltip once it is shown, nullptr when none shows within a second and a half.
    HWND WaitForTip()
    {
        for (int i = 0; i < 30; ++i) {
            Settle();
            HWND found = nullptr;
            EnumWindows(
                [](HWND hwnd, LPARAM lParam) -> BOOL {
                    WCHAR name[64] = {};
                    GetClassNameW(hwnd, name, 64);
                    if (WString(name) != u"tooltips_class32" || !IsWindowVisible(hwnd))
                        return TRUE;
                    *reinterpret_cast<HWND*>(lParam) = hwnd;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&found));
            if (found)
                return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return nullptr;
    }
};

TEST_F(SkinButtonsTest, TheSkinsCaptionButtonsDrawTheirGlyphsSendTheirCommandsAndShowTheirTips)
{
    LoadButtons("<CAPTIONBUTTON Command='10003' Glyph='Resolution' Tip='选择分辨率'/>"
                "<CAPTIONBUTTON Command='1041' Glyph='FullScreen' Tip='全屏'/>");
    Skin(400, 200);
    AddMinimiseBox();
    HWND caption = Caption();
    // Left to right as the skin lists them, right before minimise, drawn in the caption text's white.
    RECT resolution = ButtonLeftOfMinimise(1);
    RECT fullScreen = ButtonLeftOfMinimise(0);
    EXPECT_GT(CountNear(caption, kWhite, 60, &resolution), 12);
    EXPECT_GT(CountNear(caption, kWhite, 60, &fullScreen), 12);
    RECT beyond = ButtonLeftOfMinimise(2);
    EXPECT_EQ(CountNear(caption, kWhite, 60, &beyond), 0);

    // Hover lights the button up, as it does minimise and close.
    POINT corner {fullScreen.left + 3, 3};
    long before = Pixel(caption, corner.x, corner.y);
    Presenter().MovePointer(caption, Centre(fullScreen));
    Settle();
    EXPECT_NE(Pixel(caption, corner.x, corner.y), before);
    HWND tip = WaitForTip();
    ASSERT_NE(tip, nullptr) << "no tip for the full-screen button";
    EXPECT_EQ(GetWindow(tip, GW_OWNER), m_window);
    RECT tipRect {};
    GetWindowRect(tip, &tipRect);
    RECT window {};
    GetWindowRect(m_window, &window);
    EXPECT_GE(tipRect.top, window.top + kCaptionHeight / 2) << "the tip shows under the pointer";
    EXPECT_GT(CountNear(tip, RGB(0, 0, 0), 60), 10) << "the tip has no text";

    Presenter().Click(caption, Centre(fullScreen));
    Settle();
    EXPECT_FALSE(IsWindowVisible(tip)) << "a press hides the tip";
    Presenter().Click(caption, Centre(resolution));
    Settle();
    EXPECT_EQ(Commands(), (std::vector<UINT> {kFullScreen, kResolution}));
    EXPECT_EQ(Messages(m_window, WM_LBUTTONDOWN).size(), 0u) << "a press on a button is the caption's";
}

TEST_F(SkinButtonsTest, ASkinWithoutButtonsOrWithUnusableOnesKeepsTheCaptionAsItWas)
{
    // An unknown glyph, a missing command and a command out of range are left out.
    LoadButtons("<CAPTIONBUTTON Command='1041' Glyph='Sparkles'/><CAPTIONBUTTON Glyph='FullScreen'/>"
                "<CAPTIONBUTTON Command='70000' Glyph='Resolution'/><CAPTIONBUTTON Command='10003' Glyph='Resolution'/>");
    Skin(400, 200);
    AddMinimiseBox();
    Presenter().Click(Caption(), Centre(ButtonLeftOfMinimise(0)));
    Settle();
    Presenter().Click(Caption(), Centre(ButtonLeftOfMinimise(1)));
    Settle();
    EXPECT_EQ(Commands(), (std::vector<UINT> {kResolution}));
    // The second place is free caption: the press goes through to the window, which drags itself.
    EXPECT_EQ(Messages(m_window, WM_LBUTTONDOWN).size(), 1u);

    // Without any, the place left of minimise is free caption too, and no tip is made.
    DestroyWindow(m_window);
    RecordingClass::Log().clear();
    LoadButtons("");
    Skin(400, 200);
    AddMinimiseBox();
    RECT nearest = ButtonLeftOfMinimise(0);
    EXPECT_EQ(CountNear(Caption(), kWhite, 60, &nearest), 0);
    Presenter().MovePointer(Caption(), Centre(nearest));
    EXPECT_EQ(WaitForTip(), nullptr);
    Presenter().Click(Caption(), Centre(nearest));
    Settle();
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(Messages(m_window, WM_LBUTTONDOWN).size(), 1u);
}

} // namespace
