#include "platform/ui/ModalScript.h"

#include "platform/ui/MessageQueue.h"
#include "platform/ui/ThreadQueue.h"
#include "platform/ui/Window.h"
#include "platform/ui/presenters/HeadlessPresenter.h"

#include <glib.h>

#include <deque>
#include <mutex>
#include <optional>

namespace {

constexpr UINT_PTR kAnswerTimer = 0x4D53;
// Posted to the modal window when its answer is due without a timer of the thread.
constexpr UINT kAnswerDue = WM_USER + 0x3A0;

struct ScriptedAnswer {
    int value = 0;
    DWORD delay = 0;
    ScriptClock clock = ScriptClock::Test;
};

struct ScriptState {
    std::mutex lock;
    std::deque<ScriptedAnswer> menuAnswers;
    std::deque<ScriptedAnswer> boxAnswers;
    std::vector<RecordedMenu> menus;
    std::vector<RecordedMessageBox> boxes;
    std::function<void(ModalKind, HWND)> hook;
};

ScriptState& State()
{
    static ScriptState* state = new ScriptState; // modal loops of other threads may outlive static destruction
    return *state;
}

std::deque<ScriptedAnswer>& AnswersOf(ScriptState& state, ModalKind kind)
{
    return kind == ModalKind::Menu ? state.menuAnswers : state.boxAnswers;
}

void Queue(ModalKind kind, int value, DWORD delayMs, ScriptClock clock)
{
    auto& state = State();
    std::lock_guard guard(state.lock);
    AnswersOf(state, kind).push_back({value, delayMs, clock});
}

std::optional<ScriptedAnswer> TakeAnswer(ModalKind kind)
{
    auto& state = State();
    std::lock_guard guard(state.lock);
    auto& answers = AnswersOf(state, kind);
    if (answers.empty())
        return std::nullopt;
    ScriptedAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

gboolean PostAnswerDue(gpointer window)
{
    PostMessageW(static_cast<HWND>(window), kAnswerDue, 0, 0);
    return G_SOURCE_REMOVE;
}

// Makes a message arrive for the modal window when its scripted answer is due: at once, after a
// timer of the thread (test clock) or after a GLib timeout (real time, which a stopped test clock
// does not hold back).
class AnswerArm {
public:
    AnswerArm(HWND window, const ScriptedAnswer& answer) : m_window(window)
    {
        if (answer.delay == 0) {
            PostMessageW(window, kAnswerDue, 0, 0);
            return;
        }
        if (answer.clock == ScriptClock::Test) {
            m_timer = SetTimer(window, kAnswerTimer, answer.delay, nullptr) != 0;
            return;
        }
        m_source = g_timeout_source_new(answer.delay);
        g_source_set_callback(m_source, PostAnswerDue, window, nullptr);
        g_source_attach(m_source, CurrentQueue()->context);
    }

    ~AnswerArm()
    {
        if (m_source) {
            g_source_destroy(m_source);
            g_source_unref(m_source);
        }
        if (m_timer && IsWindow(m_window))
            KillTimer(m_window, kAnswerTimer);
    }

    AnswerArm(const AnswerArm&) = delete;
    AnswerArm& operator=(const AnswerArm&) = delete;

    bool IsDue(const MSG& msg) const
    {
        if (msg.hwnd != m_window)
            return false;
        return msg.message == kAnswerDue || (msg.message == WM_TIMER && msg.wParam == kAnswerTimer);
    }

private:
    HWND m_window;
    bool m_timer = false;
    GSource* m_source = nullptr;
};

} // namespace

void ModalScript::AnswerMenu(UINT command, DWORD delayMs, ScriptClock clock)
{
    Queue(ModalKind::Menu, static_cast<int>(command), delayMs, clock);
}

void ModalScript::AnswerMessageBox(int result, DWORD delayMs, ScriptClock clock)
{
    Queue(ModalKind::MessageBox, result, delayMs, clock);
}

void ModalScript::OnShown(std::function<void(ModalKind, HWND)> hook)
{
    auto& state = State();
    std::lock_guard guard(state.lock);
    state.hook = std::move(hook);
}

std::vector<RecordedMenu> ModalScript::Menus()
{
    auto& state = State();
    std::lock_guard guard(state.lock);
    return state.menus;
}

std::vector<RecordedMessageBox> ModalScript::MessageBoxes()
{
    auto& state = State();
    std::lock_guard guard(state.lock);
    return state.boxes;
}

size_t ModalScript::PendingAnswers(ModalKind kind)
{
    auto& state = State();
    std::lock_guard guard(state.lock);
    return AnswersOf(state, kind).size();
}

void ModalScript::Reset()
{
    auto& state = State();
    std::lock_guard guard(state.lock);
    state.menuAnswers.clear();
    state.boxAnswers.clear();
    state.menus.clear();
    state.boxes.clear();
    state.hook = nullptr;
}

bool ModalScriptInUse()
{
    return CurrentHeadlessPresenter() != nullptr;
}

size_t RecordShownMenu(const RecordedMenu& menu)
{
    auto& state = State();
    std::lock_guard guard(state.lock);
    state.menus.push_back(menu);
    return state.menus.size() - 1;
}

void SetShownMenuResult(size_t index, UINT result)
{
    auto& state = State();
    std::lock_guard guard(state.lock);
    if (index < state.menus.size())
        state.menus[index].result = result;
}

size_t RecordShownMessageBox(const RecordedMessageBox& box)
{
    auto& state = State();
    std::lock_guard guard(state.lock);
    state.boxes.push_back(box);
    return state.boxes.size() - 1;
}

void SetShownMessageBoxResult(size_t index, int result)
{
    auto& state = State();
    std::lock_guard guard(state.lock);
    if (index < state.boxes.size())
        state.boxes[index].result = result;
}

void NotifyModalShown(ModalKind kind, HWND window)
{
    std::function<void(ModalKind, HWND)> hook;
    {
        auto& state = State();
        std::lock_guard guard(state.lock);
        hook = state.hook;
    }
    if (hook)
        hook(kind, window);
}

ModalLoopEnd RunModalLoop(HWND window, ModalKind kind, int idleAnswer, const std::function<bool(MSG&)>& preview,
    const std::function<bool()>& finished, int* answer)
{
    bool scripted = ModalScriptInUse();
    std::optional<ScriptedAnswer> planned = scripted ? TakeAnswer(kind) : std::nullopt;
    std::optional<AnswerArm> arm;
    if (planned)
        arm.emplace(window, *planned);
    bool answerWhenIdle = scripted && !planned;
    MSG msg;
    while (!finished()) {
        if (answerWhenIdle) {
            if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                *answer = idleAnswer;
                return ModalLoopEnd::Answered;
            }
        } else if (!GetMessageW(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return ModalLoopEnd::Quit;
        }
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return ModalLoopEnd::Quit;
        }
        if (arm && arm->IsDue(msg)) {
            *answer = planned->value;
            return ModalLoopEnd::Answered;
        }
        if (preview && preview(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return ModalLoopEnd::Finished;
}
