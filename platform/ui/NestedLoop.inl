// Inline part of MessageQueue.h.
#pragma once

template <class Done>
void RunNestedLoop(Done done)
{
    MSG msg;
    while (!done()) {
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
