#include "client/ui/main/StartUp.h"

#include "widgets/skControls.h"

void ClientStartUp()
{
    skRegisterControls();
}
