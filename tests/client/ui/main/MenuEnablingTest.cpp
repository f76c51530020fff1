#include <gtest/gtest.h>

#include "client/ui/main/MenuEnabling.h"

namespace {

// A case: the situation, then the controls that must be on and off.
struct EnablingCase {
    const char* what;
    TEnablingInput in;
    std::vector<const char*> on, off;
};

TEnablingInput Make(int state, char focus, bool selected, bool firstIsDir = false, bool host = true,
                    bool broken = false)
{
    TEnablingInput in;
    in.State = state;
    in.LocalFocused = focus == 'L';
    in.RemoteFocused = focus == 'R';
    in.LocalSelected = focus == 'L' && selected;
    in.RemoteSelected = focus == 'R' && selected;
    in.LocalFirstIsDir = in.LocalSelected && firstIsDir;
    in.RemoteFirstIsDir = in.RemoteSelected && firstIsDir;
    in.HostGiven = host;
    in.BrokenNodeSelected = broken;
    return in;
}

TEST(MenuEnabling, TableOfSituations)
{
    const EnablingCase cases[] = {
        {"empty host box", Make(0, '-', false, false, false),
         {"tbExit", "miExit", "tbPreference"},
         {"tbConnect", "tbReconnect", "miConnect", "miReconnect", "miAddCurrentSite", "miEditCurrentSite",
          "miCreateShortcut", "miBrowseServer", "tbAbort", "tbDisconnect"}},
        {"ready with a host", Make(0, '-', false),
         {"tbConnect", "miConnect", "tbReconnect", "miReconnect", "miAddCurrentSite", "miBrowseServer"},
         {"tbAbort", "tbDisconnect", "miDisconnect", "QuoteCommand1", "miManualDownload", "miAddBookmark"}},
        {"connected", Make(2, '-', false),
         {"tbConnect", "miReconnect", "tbDisconnect", "miDisconnect", "QuoteCommand1", "miManualDownload",
          "miAddBookmark", "miViewRawDirectory"},
         {"tbAbort", "tbDownload", "tbUpload", "miLargeIcons"}},
        {"connecting: no second connect", Make(1, '-', false),
         {"tbAbort", "miAddCurrentSite"},
         {"tbConnect", "tbReconnect", "miConnect", "miReconnect", "tbDisconnect", "tbExit", "miExit", "tbPreference",
          "miPreference", "miOpenCurrentDirectory"}},
        {"transferring: only Abort", Make(5, 'R', true),
         {"tbAbort"},
         {"tbConnect", "tbReconnect", "miConnect", "miReconnect", "tbDisconnect", "miDisconnect", "tbExit",
          "tbPreference", "miExit", "miPreference", "tbDownload", "tbDelete", "tbViewFile"}},
        {"local folder selected", Make(0, 'L', true, true),
         {"tbDelete", "tbRename", "tbMoveFile", "miDelete", "tbProperty", "miProperties", "tbRefresh",
          "tbNewDirectory", "miLargeIcons", "miArrangeIcons"},
         {"tbExecute", "miExecute", "tbViewFile", "miEdit", "miView", "tbUpload"}},
        {"local file selected, connected", Make(2, 'L', true),
         {"tbExecute", "tbViewFile", "miEdit", "miView", "tbUpload", "miUpload", "tbDelete"},
         {"tbDownload", "miChangeMode", "miCopyUrl"}},
        {"remote file selected, connected", Make(2, 'R', true),
         {"tbDownload", "miDownload", "miCalcSize", "tbViewFile", "miChangeMode", "miCopyUrl", "tbDelete",
          "tbRefresh", "tbChangeDirectory"},
         {"tbUpload", "tbExecute", "tbProperty"}},
        {"remote folder selected, connected", Make(2, 'R', true, true),
         {"tbDownload", "tbDelete"},
         {"tbViewFile", "miChangeMode", "miCopyUrl"}},
        {"remote pane focused, not connected", Make(0, 'R', false),
         {"miLargeIcons"},
         {"tbRefresh", "miRefresh", "miSelectAll", "tbNewDirectory", "tbChangeDirectory"}},
        {"broken list selected", Make(2, '-', false, false, true, true),
         {"tbResumeBroken", "tbDeleteBroken", "tbBrokenDetail", "miResumeBroken", "miDeleteBroken",
          "miBrokenDetail"},
         {}},
        {"broken list selected while busy", Make(3, '-', false, false, true, true),
         {},
         {"tbResumeBroken", "tbDeleteBroken", "tbBrokenDetail"}},
        {"no broken list selected", Make(0, '-', false),
         {},
         {"tbResumeBroken", "tbDeleteBroken", "tbBrokenDetail", "miResumeBroken"}},
    };
    for (const auto& c : cases) {
        const auto e = ComputeEnabling(c.in);
        for (const char* name : c.on) {
            ASSERT_TRUE(e.count(name)) << c.what << ": " << name;
            EXPECT_TRUE(e.at(name)) << c.what << ": " << name << " should be enabled";
        }
        for (const char* name : c.off) {
            ASSERT_TRUE(e.count(name)) << c.what << ": " << name;
            EXPECT_FALSE(e.at(name)) << c.what << ": " << name << " should be disabled";
        }
    }
}

} // namespace
