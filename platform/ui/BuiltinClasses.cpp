#include "platform/ui/BuiltinClasses.h"

#include "platform/ui/controls/Controls.h"

void RegisterBuiltinClasses()
{
    RegisterDialogClass();
    RegisterStaticClass();
    RegisterButtonClass();
    RegisterTooltipClass();
}
