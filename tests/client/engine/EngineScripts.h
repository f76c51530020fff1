#pragma once
// Pieces of scripts for the scripted server that the engine's fault and
// outcome tests share: the engine's own login, and a download.
#include <functional>
#include <string>
#include <vector>

#include "tests/net/ftp/FakeFtpServer.h"

namespace fakeftp {

// The engine's login: the probe, then the listing of the login folder.
inline std::vector<Step> EngineLogin(bool systOk = true, bool restOk = true,
                                     const std::string& listing = "-rw-r--r-- 1 u g 1000 Jan 01 00:00 f\r\n")
{
    std::vector<Step> s = {Welcome(), Login(), Answer("SYST", systOk ? "215 UNIX Type: L8" : "500 SYST not understood"),
                           Answer("TYPE I", "200 Type set to I")};
    if (restOk) {
        s.push_back(Answer("REST 100", "350 Restarting at 100"));
        s.push_back(Answer("REST 0", "350 Restarting at 0"));
    } else {
        s.push_back(Answer("REST 100", "502 REST not implemented"));
    }
    s.push_back(Answer("PWD", "257 \"/\" is the current directory"));
    s.push_back(Answer("TYPE A", "200 Type set to A"));
    s.push_back(PassiveDownload("LIST", listing));
    return s;
}

inline std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// PASV, an optional REST, RETR of path, then what the step does with the data.
inline Step Retr(const std::string& rest, const std::function<void(Session&)>& then, const std::string& path = "/f")
{
    return [rest, then, path](Session& s) {
        s.Expect("PASV");
        s.PassiveReply();
        if (!rest.empty()) {
            s.Expect(rest);
            s.Reply("350 Restarting");
        }
        s.Expect("RETR " + path);
        s.Reply("150 Opening BINARY mode data connection");
        s.OpenData();
        then(s);
    };
}

} // namespace fakeftp
