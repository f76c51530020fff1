#pragma once
// Pieces of scripted-server sessions as the browsing windows meet them: the
// client lists in active mode (PORT).
#include <string>
#include <vector>

#include "tests/net/ftp/FakeFtpServer.h"

namespace fakeftp {

inline const char* const kListing = "drwxr-xr-x 2 ftp ftp 512 Jan 10 2020 pub\r\n"
                             "-rw-r--r-- 1 ftp ftp 100 Mar 3 09:15 a.txt\r\n";

inline Step ActiveList(const std::string& listing)
{
    return [listing](Session& s) {
        s.ActiveFromPort(s.Expect("PORT"));
        s.Reply("200 PORT ok");
        s.Expect("LIST");
        s.Reply("150 here it comes");
        s.OpenData();
        s.DataSend(listing);
        s.CloseData();
        s.Reply("226 done");
    };
}

// A listing whose data connection opens and then stays silent, as does the
// control connection, until the client closes it.
inline Step EndlessList()
{
    return [](Session& s) {
        s.ActiveFromPort(s.Expect("PORT"));
        s.Reply("200 PORT ok");
        s.Expect("LIST");
        s.Reply("150 never ends");
        s.OpenData();
        s.WaitControlClosed(15000);
        // What the client sent meanwhile is recorded too.
        for (std::string line; s.NextCommand(line, 0);) {
        }
    };
}

// A command the server takes and never answers.
inline Step NoAnswerTo(const std::string& verb)
{
    return [verb](Session& s) {
        s.Expect(verb);
        s.WaitControlClosed(15000);
    };
}

inline Step Silent()
{
    return [](Session& s) { s.WaitControlClosed(15000); };
}

inline std::vector<Step> Probe()
{
    return {Answer("TYPE I", "200 binary"), Answer("REST 1", "350 restart"), Answer("TYPE A", "200 ascii")};
}

// Welcome, login, probe, listing and PWD of the root, then more.
inline std::vector<Step> ConnectScript(std::vector<Step> more = {})
{
    std::vector<Step> s{Welcome(), Login()};
    for (auto& p : Probe()) s.push_back(p);
    s.push_back(ActiveList(kListing));
    s.push_back(Answer("PWD", "257 \"/\" is the current folder"));
    for (auto& m : more) s.push_back(m);
    return s;
}

} // namespace fakeftp
