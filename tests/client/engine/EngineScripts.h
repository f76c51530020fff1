#pragma once
// Pieces of scripts for the scripted server that the engine's fault and
// outcome tests share: the engine's own login, a download, a folder tree.
#include <algorithm>
#include <functional>
#include <set>
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

// Serves the folders of files (absolute paths) for Serve: CWD into any
// folder that holds files (550 for others), PWD, and LIST of the session's
// folder, its files and sub-folders; RETR and the rest are Serve's. list,
// when set, sees each LIST first with the folder (ending "/") and takes it
// when it returns true.
inline Intercept FolderTree(const Files& files,
                            std::function<bool(Session&, const std::string& folder)> list = nullptr)
{
    return [files, list](Session& s, const std::string& line) {
        // Each session has its own folder; the login's is "/".
        static thread_local std::string cwd;
        if (line.rfind("USER", 0) == 0) cwd = "/";
        const auto holds = [&](const std::string& folder) {
            return std::any_of(files.begin(), files.end(), [&](const auto& f) { return f.first.rfind(folder, 0) == 0; });
        };
        if (line.rfind("CWD ", 0) == 0) {
            std::string to = line.substr(4);
            if (to.empty() || to[0] != '/') to = cwd + to;
            if (to.back() != '/') to += '/';
            if (!holds(to)) {
                s.Reply("550 No such directory");
                return true;
            }
            cwd = to;
            s.Reply("250 ok");
            return true;
        }
        if (line == "PWD") {
            s.Reply("257 \"" + (cwd.size() > 1 ? cwd.substr(0, cwd.size() - 1) : cwd) + "\" is the current directory");
            return true;
        }
        if (line != "LIST") return false;
        if (list && list(s, cwd)) return true;
        std::string listing;
        std::set<std::string> folders;
        for (const auto& [path, content] : files) {
            if (path.rfind(cwd, 0) != 0) continue;
            const std::string rest = path.substr(cwd.size());
            const auto slash = rest.find('/');
            if (slash == std::string::npos)
                listing += "-rw-r--r-- 1 u g " + std::to_string(content.size()) + " Jan 01 00:00 " + rest + "\r\n";
            else if (folders.insert(rest.substr(0, slash)).second)
                listing += "drwxr-xr-x 1 u g 0 Jan 01 00:00 " + rest.substr(0, slash) + "\r\n";
        }
        s.Reply("150 Here comes the listing");
        s.OpenData();
        s.DataSend(listing);
        s.CloseData();
        s.Reply("226 Transfer complete");
        return true;
    };
}

} // namespace fakeftp
