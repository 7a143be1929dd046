#include "app/StartUp.h"

#include "platform/sys/Module.h"
#include "platform/ui/Window.h"

int main()
{
    // The command line is read where it is needed (GetCommandLineW), not passed on.
    return RunProgram(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
}
