#include "platform/ui/Presenter.h"

#include "platform/ui/presenters/HeadlessPresenter.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::unique_ptr<Presenter>& Slot()
{
    static std::unique_ptr<Presenter>* slot = new std::unique_ptr<Presenter>; // outlives static destruction
    return *slot;
}

std::unique_ptr<Presenter> Choose()
{
    const char* wanted = std::getenv("LUMO_PRESENTER");
    if (wanted && std::strcmp(wanted, "headless") == 0)
        return CreateHeadlessPresenter();
    bool display = (std::getenv("DISPLAY") && *std::getenv("DISPLAY")) || (std::getenv("WAYLAND_DISPLAY") && *std::getenv("WAYLAND_DISPLAY"));
    if (display || (wanted && std::strcmp(wanted, "gtk") == 0)) {
        if (auto gtk = CreateGtkPresenter())
            return gtk;
    }
    return CreateHeadlessPresenter();
}

} // namespace

Presenter& CurrentPresenter()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (!Slot())
            Slot() = Choose();
    });
    return *Slot();
}

void InstallPresenter(std::unique_ptr<Presenter> presenter)
{
    Slot() = std::move(presenter);
}

std::unique_ptr<Presenter> CreateHeadlessPresenter()
{
    return std::make_unique<HeadlessPresenter>();
}

HeadlessPresenter* CurrentHeadlessPresenter()
{
    return dynamic_cast<HeadlessPresenter*>(&CurrentPresenter());
}
