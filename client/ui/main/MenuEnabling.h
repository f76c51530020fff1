#pragma once
// Which commands of the main window are available, recomputed whenever the
// application becomes idle, from the session state, the panes' focus and
// selection, the queue tree's selection and the host box.
#include <map>
#include <string>

struct TEnablingInput {
    int State = 0;
    bool LocalFocused = false, RemoteFocused = false;
    bool LocalSelected = false, RemoteSelected = false;
    // The first selected row of the pane is a folder.
    bool LocalFirstIsDir = false, RemoteFirstIsDir = false;
    // A top-level node of the queue tree other than the current queue.
    bool BrokenNodeSelected = false;
    bool HostGiven = false;
};

// Enabled state by the object name of each action ("mi..." menu items,
// "tb..." tool buttons). Actions not named keep their state.
std::map<std::string, bool> ComputeEnabling(const TEnablingInput& in);
