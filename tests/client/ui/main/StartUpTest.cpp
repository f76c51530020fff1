#include <gtest/gtest.h>
#include <algorithm>

#include "client/ui/main/StartUp.h"
#include "widgets/skClasses.h"

namespace {

TEST(ClientStartUp, RegistersTheDrawingLibrarysControls)
{
    ClientStartUp();
    ClientStartUp(); // a second call registers nothing twice
    const std::vector<std::string> names = RegisteredClasses();
    for (const char* n : {"TskImageBtn", "TskShapeBtn", "TskOutlookPanel", "TskOutlookList"})
        EXPECT_EQ(std::count(names.begin(), names.end(), n), 1) << n;
}

} // namespace
