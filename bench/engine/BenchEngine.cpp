// bench_engine URL --local DIR [--connections N] [--settings FILE] [--log FILE]
//              [--split K] [--threshold BYTES]
// bench_engine URL --upload PATH [--connections N] [--settings FILE] [--log FILE]
// bench_engine --state DIR --resume [--connections N] [--settings FILE] [--log FILE]
//
// Runs the client engine headless, as the main window drives it: logs in,
// then downloads one file (URL not ending in "/") or every file below a
// folder (URL ending in "/") into DIR, keeping the tree; or uploads PATH (a
// file, or a folder with its tree) into URL's folder. URL is
// ftp://[user[:pass]@]host[:port]/path; without a user the login is
// anonymous. --settings reads a setting.ini with the program's own loader
// (passive or active mode, proxy, SOCKS, split, retries, connections);
// --log writes every connection's log lines as its log page shows them.
// Exits 0 only when every item of the run completed; the last line is
// "files=F bytes=B seconds=S MB/s=R".
//
// --state DIR keeps the run's journal and the broken lists in
// DIR/oldquene.ini, as the program keeps them in its own folder. With
// --resume every broken list there is resumed on its own site; it exits 0
// only when each finished complete, and then no list is left in the file.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>

#include "client/engine/DirListing.h"
#include "client/engine/LocalFiles.h"
#include "client/engine/OldQuene.h"
#include "client/ui/main/LogLine.h"
#include "tests/client/engine/HeadlessWindow.h"

namespace {

struct Url {
    std::string user = "anonymous", pass = "bench@example.org", host, port = "21", path;
};

struct Options {
    Url url;
    std::string local = ".", upload, settings, log, state;
    bool resume = false;
    int connections = 0; // 0: from the settings, else 1
    int split = -1;      // -1: from the settings
    long long threshold = -1;
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
    std::fprintf(stderr,
                 "usage: bench_engine URL --local DIR [--connections N] [--settings FILE] [--log FILE] [--split K] "
                 "[--threshold BYTES]\n"
                 "       bench_engine URL --upload PATH [--connections N] [--settings FILE] [--log FILE]\n"
                 "  either with [--state DIR]\n"
                 "       bench_engine --state DIR --resume [--connections N] [--settings FILE] [--log FILE]\n");
    return 2;
}

bool ParseOptions(int argc, char** argv, Options& o)
{
    // A resume takes its sites from the broken lists, not from a URL.
    const bool withUrl = argc >= 2 && std::string(argv[1]).rfind("--", 0) != 0;
    if (withUrl && !ParseUrl(argv[1], o.url)) return false;
    for (int i = withUrl ? 2 : 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--resume") {
            o.resume = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const std::string v = argv[++i];
        if (a == "--local") o.local = v;
        else if (a == "--upload") o.upload = v;
        else if (a == "--settings") o.settings = v;
        else if (a == "--log") o.log = v;
        else if (a == "--connections") o.connections = std::atoi(v.c_str());
        else if (a == "--split") o.split = std::atoi(v.c_str());
        else if (a == "--threshold") o.threshold = std::atoll(v.c_str());
        else if (a == "--state") o.state = v;
        else return false;
    }
    if (o.resume ? withUrl || o.state.empty() : !withUrl) return false;
    return o.connections >= 0 && o.connections <= 255 && (o.upload.empty() || o.local == ".");
}

// Why the last step on the browsing connection failed: the outcome of the
// request that ended it (a refusal, a time-out, the peer's close), not
// whatever reply came before or after it.
std::string StepFailure(const TFtpManager& m)
{
    if (!m.Client(0)) return "no connection";
    std::string why = m.GetLastReply();
    why.erase(0, why.find_first_not_of(' '));
    return why.empty() ? "no reason given" : why;
}

// The headless window, with each connection's log page written to a file
// as the page shows it: trace lines left out, passwords masked.
class BenchWindow : public HeadlessWindow {
public:
    std::string logFile;

    void ClientDisplay(TObject* Sender, std::string& Msg) override
    {
        HeadlessWindow::ClientDisplay(Sender, Msg);
        if (logFile.empty() || Msg.empty() || IsTraceLine(Msg)) return;
        const int slot = static_cast<TCustomFtpCli*>(Sender)->Tag();
        if (!logs.Append(logFile, "[" + std::to_string(slot) + "] " + MaskLogLine(Msg), Now()) && !told) {
            told = true;
            std::fprintf(stderr, "cannot write the log file %s\n", logFile.c_str());
        }
    }

private:
    static std::string Now()
    {
        const std::time_t t = std::time(nullptr);
        std::tm tm{};
        ::localtime_r(&t, &tm);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
        return text;
    }
    TLogFile logs;
    bool told = false;
};

// The program's settings from --settings, or the bench's defaults (passive
// mode, one try, split by the connection count); --split and --threshold
// win over either.
int ApplySettings(const Options& o, BenchWindow& w)
{
    if (!o.settings.empty()) {
        struct stat st {};
        if (::stat(o.settings.c_str(), &st) != 0) {
            std::fprintf(stderr, "no settings file %s\n", o.settings.c_str());
            return 0;
        }
        w.settings.LoadFromFile(o.settings, ".");
    } else {
        w.settings.FtpCliNum = 1;
        w.settings.MTFileSize = 1000000;
    }
    if (o.split >= 0) {
        w.settings.SplitNum = o.split;
        w.settings.EnableSplitDownload = o.split != 1;
    }
    if (o.threshold >= 0) w.settings.MTFileSize = o.threshold;
    w.logFile = o.log;
    return o.connections > 0 ? o.connections : w.settings.FtpCliNum;
}

std::string BaseName(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Upload items for a file or a folder's tree, into remoteDir (ending "/"),
// and the remote folders they need, parents first.
bool UploadItems(const std::string& path, const std::string& remoteDir, std::vector<TTransferFileInfo>& queue,
                 std::vector<std::string>& folders)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    const std::string top = BaseName(path);
    if (!S_ISDIR(st.st_mode)) {
        const std::int64_t size = GetLocalFileSize(path);
        queue.push_back({false, remoteDir + top, path, size, 0, size, false});
        return true;
    }
    std::vector<TGetFileInfo> files;
    ListLocalFilesRecursive(path, files);
    const std::string base = path.back() == '/' ? path : path + "/";
    std::set<std::string> made;
    folders.push_back(remoteDir + top + "/");
    for (const auto& f : files) {
        const std::string rel = f.FileName.substr(base.size());
        for (auto slash = rel.find('/'); slash != std::string::npos; slash = rel.find('/', slash + 1))
            if (made.insert(rel.substr(0, slash)).second) folders.push_back(remoteDir + top + "/" + rel.substr(0, slash) + "/");
        queue.push_back({false, remoteDir + top + "/" + rel, f.FileName, f.FileSize, 0, f.FileSize, false});
    }
    return true;
}

// Download items for URL: the file, or every file below the folder. The
// names left out go to skipped, the folders that could not be listed (with
// why) to unlisted.
bool DownloadItems(const Options& o, TFtpManager& m, BenchWindow& w, std::vector<TTransferFileInfo>& queue,
                   std::vector<std::string>& skipped, std::vector<std::string>& unlisted)
{
    const std::string& path = o.url.path;
    const std::string parent = path.substr(0, path.rfind('/') + 1);
    if (path.back() == '/') {
        std::vector<TGetFileInfo> found;
        const std::string remoteDir = m.GetRemoteDir();
        w.state = 4;
        const bool expanded = w.Run([&] { m.ExpandRemoteDir(remoteDir, found); });
        for (const auto& d : m.GetUnlistedDirs()) unlisted.push_back(d.Reason);
        if (!expanded) {
            std::fprintf(stderr, "expansion failed: %s\n", StepFailure(m).c_str());
            for (const auto& d : unlisted) std::fprintf(stderr, "  %s\n", d.c_str());
            return false;
        }
        const auto& refused = m.GetRefusedNames();
        skipped.insert(skipped.end(), refused.begin(), refused.end());
        for (const auto& f : found) {
            const std::string lp = ExpandedLocalPath(o.local, remoteDir, f.FileName);
            if (lp.empty()) {
                skipped.push_back(f.FileName);
                continue;
            }
            queue.push_back({true, f.FileName, lp, f.FileSize, 0, f.FileSize, false});
        }
        return true;
    }
    const std::string name = path.substr(parent.size());
    std::vector<TDirAnalyze> entries;
    ParseDirListing(m.GetListingText(), entries);
    std::int64_t size = -1;
    for (const auto& e : entries)
        if (e.FileName == name) size = ListingSizeToInt64(e.Size);
    if (size < 0) {
        std::fprintf(stderr, "%s not found in %s\n", name.c_str(), parent.c_str());
        return false;
    }
    queue.push_back({true, path, o.local + "/" + name, size, 0, size, false});
    return true;
}

// Why a run failed, as the program told its user (its messages), with ": "
// before it; the items that failed and were left are told one by one after.
// A run has no reply of its own: none is quoted.
std::string RunFailure(const BenchWindow& w)
{
    if (!w.lastEnded) return ": it did not end";
    std::string why;
    for (std::string text : w.messages) {
        std::replace(text.begin(), text.end(), '\r', ' ');
        why += (why.empty() ? ": " : "; ") + text;
    }
    return why;
}

// True only when the run ended done, every item it held completed and
// nothing was left out of it.
bool RunComplete(bool ended, const TFtpManager& m, const BenchWindow& w, const std::vector<std::string>& skipped,
                 const std::vector<std::string>& unlisted)
{
    bool ok = ended;
    for (std::string q : w.questions)
        if (q.find("Disk free space not enough") != std::string::npos) {
            std::replace(q.begin(), q.end(), '\r', ' ');
            std::fprintf(stderr, "the run did not start: %s\n", q.c_str());
            ok = false;
        }
    for (const auto& f : m.GetFailedItems()) std::fprintf(stderr, "failed: %s\n", f.Reason.c_str());
    for (const auto& d : unlisted) std::fprintf(stderr, "failed: %s\n", d.c_str());
    if (w.completed.size() != w.runItems.size()) {
        std::fprintf(stderr, "%zu of %zu items completed\n", w.completed.size(), w.runItems.size());
        ok = false;
    }
    for (const auto& s : skipped) std::fprintf(stderr, "skipped: %s\n", s.c_str());
    for (const auto& b : w.broken) std::fprintf(stderr, "left in the queue: %s\n", b.HostPath.c_str());
    return ok && skipped.empty() && unlisted.empty();
}

// Resumes every broken list of the file on its own site, one after the
// other, as the window's Resume does; 0 when each finished complete and no
// list is left in the file.
int ResumeBrokenLists(BenchWindow& w, TFtpManager& m, const std::string& file)
{
    std::vector<TOldQuene> lists;
    LoadOldQuenes(file, lists);
    const auto start = std::chrono::steady_clock::now();
    std::size_t finished = 0, items = 0;
    for (const auto& list : lists) {
        items += list.Items.size();
        w.state = 1;
        if (!w.Run([&] { m.ConnectHost(list.Host); })) {
            std::fprintf(stderr, "login to %s failed: %s\n", list.Host.HostName.c_str(), StepFailure(m).c_str());
            continue;
        }
        w.state = 5;
        w.completed.clear();
        w.runItems.clear();
        w.resumedDateTime = list.DateTime;
        const bool ended = w.Run([&] { m.StartTransfer(list.Items, 1); }, 24 * 3600 * 1000);
        w.resumedDateTime.clear();
        w.state = 2;
        if (ended && w.completed.size() == w.runItems.size()) {
            ++finished;
        } else {
            std::fprintf(stderr, "the list of %s did not finish%s\n", list.DateTime.c_str(), RunFailure(w).c_str());
            for (const auto& f : m.GetFailedItems()) std::fprintf(stderr, "failed: %s\n", f.Reason.c_str());
        }
    }
    std::vector<TOldQuene> left;
    LoadOldQuenes(file, left);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("lists=%zu finished=%zu left=%zu items=%zu seconds=%.3f\n", lists.size(), finished, left.size(), items,
                seconds);
    return finished == lists.size() && left.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!ParseOptions(argc, argv, o)) return Usage();
    BenchWindow w;
    const int connections = ApplySettings(o, w);
    if (connections < 1 || connections > 255) return Usage();
    TFtpManager m(w);
    m.CreateConnections(connections);
    m.SetSplitFileSize(w.settings.MTFileSize);
    // The program keeps its journal and broken lists in its own folder.
    if (!o.state.empty()) w.brokenFile = o.state + "/oldquene.ini";
    if (o.resume) return ResumeBrokenLists(w, m, w.brokenFile);
    const auto start = std::chrono::steady_clock::now();

    w.state = 1;
    const Url& url = o.url;
    if (!w.Run([&] { m.ConnectHost({url.host, url.port, url.user, url.pass}); })) {
        std::fprintf(stderr, "login failed: %s\n", StepFailure(m).c_str());
        return 1;
    }
    const std::string parent = url.path.substr(0, url.path.rfind('/') + 1);
    w.state = 3;
    if (!w.Run([&] { m.ChangeRemoteDir(parent); })) {
        std::fprintf(stderr, "cannot open %s: %s\n", parent.c_str(), StepFailure(m).c_str());
        return 1;
    }
    std::vector<TTransferFileInfo> queue;
    std::vector<std::string> skipped, unlisted;
    if (!o.upload.empty()) {
        std::vector<std::string> folders;
        if (!UploadItems(o.upload, m.GetRemoteDir(), queue, folders)) {
            std::fprintf(stderr, "nothing to upload at %s\n", o.upload.c_str());
            return 1;
        }
        w.state = 6;
        if (!folders.empty() && !w.Run([&] { m.MakeRemoteDirs(folders); })) {
            std::fprintf(stderr, "cannot make the remote folders: %s\n", StepFailure(m).c_str());
            return 1;
        }
    } else if (!DownloadItems(o, m, w, queue, skipped, unlisted)) {
        return 1;
    }
    std::int64_t bytes = 0;
    for (const auto& q : queue) bytes += q.FileSize;
    const double listed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    w.state = 5;
    const bool ended = w.Run([&] { m.StartTransfer(queue, 0); }, 24 * 3600 * 1000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ended) std::fprintf(stderr, "the run failed%s\n", RunFailure(w).c_str());
    const bool ok = RunComplete(ended, m, w, skipped, unlisted);
    std::printf("login and listing %.3f s, transfer %.3f s\n", listed, seconds - listed);
    std::printf("files=%zu bytes=%lld seconds=%.3f MB/s=%.1f\n", queue.size(), static_cast<long long>(bytes), seconds,
                seconds > 0 ? bytes / seconds / 1e6 : 0.0);
    return ok ? 0 : 1;
}
