#include "widgets/skControls.h"

#include "widgets/skButtonGroup.h"
#include "widgets/skOutlookBar.h"
#include "widgets/skOutlookList.h"

void skRegisterControls()
{
    RegisterButtonGroupClasses();
    RegisterOutlookBarClasses();
    RegisterOutlookListClasses();
}
