// bench_engine URL [--local DIR] [--connections N] [--split K] [--threshold BYTES] [--state DIR]
// bench_engine --state DIR --resume [--connections N]
//
// Runs the client engine headless: logs in, and downloads one file (URL
// not ending in "/") or every file below a folder (URL ending in "/") into
// DIR, keeping the tree. URL is ftp://[user[:pass]@]host[:port]/path;
// without a user the login is anonymous. Exits 0 only when the run ended
// complete; the last line is "files=F bytes=B seconds=S MB/s=R".
//
// --state DIR keeps the run's journal and the broken lists in
// DIR/oldquene.ini, as the program keeps them in its own folder. With
// --resume every broken list there is resumed on its own site; it exits 0
// only when each finished complete, and then no list is left in the file.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "client/engine/DirListing.h"
#include "client/engine/OldQuene.h"
#include "tests/client/engine/HeadlessWindow.h"

namespace {

struct Url {
    std::string user = "anonymous", pass = "bench@example.org", host, port = "21", path;
};

int PercentValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Unescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && PercentValue(s[i + 1]) >= 0 && PercentValue(s[i + 2]) >= 0) {
            out += static_cast<char>(PercentValue(s[i + 1]) * 16 + PercentValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool ParseUrl(const std::string& text, Url& url)
{
    if (text.rfind("ftp://", 0) != 0) return false;
    std::string rest = text.substr(6);
    const auto slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    url.path = slash == std::string::npos ? "/" : Unescape(rest.substr(slash));
    const auto at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string cred = authority.substr(0, at);
        authority = authority.substr(at + 1);
        const auto colon = cred.find(':');
        url.user = Unescape(cred.substr(0, colon));
        url.pass = colon == std::string::npos ? std::string() : Unescape(cred.substr(colon + 1));
    }
    const auto colon = authority.rfind(':');
    if (colon != std::string::npos) {
        url.port = authority.substr(colon + 1);
        authority = authority.substr(0, colon);
    }
    url.host = authority;
    return !url.host.empty();
}

int Usage()
{
    std::fprintf(stderr, "usage: bench_engine URL [--local DIR] [--connections N] [--split K] [--threshold BYTES] "
                         "[--state DIR]\n"
                         "       bench_engine --state DIR --resume [--connections N]\n");
    return 2;
}

// The broken lists' file of a --state folder.
std::string BrokenListFile(const std::string& stateDir) { return stateDir.empty() ? std::string() : stateDir + "/oldquene.ini"; }

// Resumes every broken list of the file on its own site, one after the
// other, as the window's Resume does; 0 when all finished and none is left.
int ResumeBrokenLists(HeadlessWindow& w, TFtpManager& m, const std::string& file)
{
    std::vector<TOldQuene> lists;
    LoadOldQuenes(file, lists);
    const auto start = std::chrono::steady_clock::now();
    std::size_t finished = 0, files = 0;
    for (const auto& list : lists) {
        w.state = 1;
        if (!w.Run([&] { m.ConnectHost(list.Host); })) {
            std::fprintf(stderr, "login to %s failed: %s\n", list.Host.HostName.c_str(), m.GetLastReply().c_str());
            continue;
        }
        w.state = 5;
        w.resumedDateTime = list.DateTime;
        const bool ok = w.Run([&] { m.StartTransfer(list.Items, 1); }, 24 * 3600 * 1000);
        w.resumedDateTime.clear();
        w.state = 2;
        if (!ok) std::fprintf(stderr, "the list of %s failed: %s\n", list.DateTime.c_str(), m.GetLastReply().c_str());
        finished += ok;
        files += list.Items.size();
    }
    std::vector<TOldQuene> left;
    LoadOldQuenes(file, left);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("lists=%zu finished=%zu left=%zu items=%zu seconds=%.3f\n", lists.size(), finished, left.size(), files,
                seconds);
    return finished == lists.size() && left.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return Usage();
    std::string local = ".", stateDir;
    int connections = 1, split = 0;
    long long threshold = 1000000;
    bool resume = false;
    const bool withUrl = std::string(argv[1]).rfind("--", 0) != 0;
    for (int i = withUrl ? 2 : 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--resume") {
            resume = true;
            continue;
        }
        if (i + 1 >= argc) return Usage();
        const std::string v = argv[++i];
        if (a == "--local") local = v;
        else if (a == "--connections") connections = std::atoi(v.c_str());
        else if (a == "--split") split = std::atoi(v.c_str());
        else if (a == "--threshold") threshold = std::atoll(v.c_str());
        else if (a == "--state") stateDir = v;
        else return Usage();
    }
    if (connections < 1 || connections > 255) return Usage();
    Url url;
    if (resume ? withUrl || stateDir.empty() : !withUrl || !ParseUrl(argv[1], url)) return Usage();

    HeadlessWindow w;
    w.settings.SplitNum = split;
    w.settings.EnableSplitDownload = split != 1;
    w.settings.ConnectionRetryTimes = 1;
    w.brokenFile = BrokenListFile(stateDir);
    TFtpManager m(w);
    m.CreateConnections(connections);
    m.SetSplitFileSize(threshold);
    if (resume) return ResumeBrokenLists(w, m, w.brokenFile);
    const auto start = std::chrono::steady_clock::now();

    w.state = 1;
    if (!w.Run([&] { m.ConnectHost({url.host, url.port, url.user, url.pass}); })) {
        std::fprintf(stderr, "login failed: %s\n", m.GetLastReply().c_str());
        return 1;
    }
    const bool folder = url.path.back() == '/';
    const std::string parent = folder ? url.path : url.path.substr(0, url.path.rfind('/') + 1);
    w.state = 3;
    if (!w.Run([&] { m.ChangeRemoteDir(parent); })) {
        std::fprintf(stderr, "cannot open %s: %s\n", parent.c_str(), m.GetLastReply().c_str());
        return 1;
    }
    std::vector<TTransferFileInfo> queue;
    if (folder) {
        std::vector<TGetFileInfo> found;
        const std::string remoteDir = m.GetRemoteDir();
        w.state = 4;
        if (!w.Run([&] { m.ExpandRemoteDir(remoteDir, found); })) {
            std::fprintf(stderr, "expansion failed: %s\n", m.GetLastReply().c_str());
            return 1;
        }
        for (const auto& f : found) {
            const std::string lp = ExpandedLocalPath(local, remoteDir, f.FileName);
            if (lp.empty()) continue;
            queue.push_back({true, f.FileName, lp, f.FileSize, 0, f.FileSize, false});
        }
    } else {
        const std::string name = url.path.substr(parent.size());
        std::vector<TDirAnalyze> entries;
        ParseDirListing(m.GetListingText(), entries);
        std::int64_t size = -1;
        for (const auto& e : entries)
            if (e.FileName == name) size = ListingSizeToInt64(e.Size);
        if (size < 0) {
            std::fprintf(stderr, "%s not found in %s\n", name.c_str(), parent.c_str());
            return 1;
        }
        queue.push_back({true, url.path, local + "/" + name, size, 0, size, false});
    }
    std::int64_t bytes = 0;
    for (const auto& q : queue) bytes += q.FileSize;
    const double listed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    w.state = 5;
    const bool ok = w.Run([&] { m.StartTransfer(queue, 0); }, 24 * 3600 * 1000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) std::fprintf(stderr, "the run failed: %s\n", m.GetLastReply().c_str());
    std::printf("login and listing %.3f s, transfer %.3f s\n", listed, seconds - listed);
    std::printf("files=%zu bytes=%lld seconds=%.3f MB/s=%.1f\n", queue.size(), static_cast<long long>(bytes), seconds,
                seconds > 0 ? bytes / seconds / 1e6 : 0.0);
    return ok ? 0 : 1;
}
