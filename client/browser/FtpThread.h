#pragma once
// The FTP browser's worker: one thread with its own message loop (no Qt)
// that runs whole command sequences on its own FTP client and waits for every
// reply in that loop. Commands come in through a mailbox (a lock and a
// condition variable) as copies; an abort is an atomic mark that also wakes
// the loop. Everything the worker has to tell goes out through Deliver, as
// copies, together with the command that produced it.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/browser/BrTypes.h"
#include "client/browser/ExtractHostDir.h"
#include "os/MessageTarget.h"

class TFtpClient;

namespace browser {

enum TBrCommandCode : std::uint8_t {
    brConnect = 0,
    brOpenDir = 6,
    brQuit = 7,
    brMakeDirs = 8,
    brDeleteItems = 9,
    brRename = 10,
};

struct TBrCommand {
    std::uint8_t Code = brConnect;
    std::uint64_t Serial = 0; // given when handed over
    TBrHostInfo Host;                   // brConnect
    std::string Path;                   // brOpenDir
    std::vector<std::string> Names;     // brMakeDirs: full paths
    std::vector<TDeleteFileItem> Items; // brDeleteItems
    std::string OldName, NewName;       // brRename: full paths
};

// Reply results besides the FTP codes.
constexpr int brTimedOut = -1;
constexpr int brAborted = -2;

// What one command produced.
struct TBrResult {
    TBrCommand Command;
    int LastReply = 0;       // the last reply code, brTimedOut or brAborted
    bool Failed = false;     // a step failed, timed out or was aborted
    bool Aborted = false;    // ended by an abort, running or still queued
    bool ErrorShown = false; // an error line went out during the command
    bool Listed = false;     // Entries hold a listing and Path its folder
    std::string Path;        // the folder of the PWD reply
    std::vector<TFileItem> Entries;
};

struct TBrEvent {
    enum TKind { evDebug, evDisplay, evDone } Kind = evDebug;
    std::string Text;
    std::shared_ptr<const TBrResult> Result;
};

struct TFtpThreadConfig {
    // Silence allowed while a reply (or data) is awaited.
    std::chrono::milliseconds ReplyTimeout{std::chrono::seconds(kBrReplyTimeoutSeconds)};
    // The client the worker runs, made on the worker thread; the browser's
    // variant when none is given.
    std::function<std::unique_ptr<TFtpClient>()> MakeClient;
};

class TFtpThread {
public:
    using TDeliver = std::function<void(TBrEvent)>;

    // Starts the thread and returns once its loop, wake-up target and client
    // exist. Deliver is called on the worker thread.
    TFtpThread(int Tag, TFtpThreadConfig Config, TDeliver Deliver);
    // Quits and joins.
    ~TFtpThread();
    TFtpThread(const TFtpThread&) = delete;
    TFtpThread& operator=(const TFtpThread&) = delete;

    // Queues a copy of the command; returns its serial number.
    std::uint64_t Hand(TBrCommand Command);
    // Aborts the running command and those queued behind it.
    void Abort();
    // Ends the loop after the running command (whose waits end at once).
    void Quit();
    void Join();
    int Tag() const { return FTag; }

private:
    void Execute();
    void Run(TBrCommand& Command);
    bool Aborted() const;
    bool Skip() const { return FFailed || Aborted(); }
    void Wake();

    // Steps of the sequences.
    int Request(const std::function<void()>& Start);
    int WaitReply();
    void Login();
    void Probe();
    void Cwd(const std::string& Path);
    void List();
    void Pwd();
    void EnsureSession();
    void ShowError(const std::string& Text);
    void Debug(const std::string& Text);
    void Display(const std::string& Text);

    const int FTag;
    TFtpThreadConfig FConfig;
    TDeliver FDeliver;

    std::mutex FMutex;
    std::condition_variable FCv;
    std::deque<TBrCommand> FMailbox;
    bool FQuit = false;
    bool FStarted = false;
    std::uint64_t FLastSerial = 0;
    std::atomic<std::uint64_t> FAbortBelow{0}; // commands below this serial are aborted
    std::atomic<os::HWND> FWakeTarget{0};
    std::thread FThread;

    // The worker's own, touched on its thread only.
    std::unique_ptr<TFtpClient> FClient;
    TExtractHostDir FExtract;
    TBrHostInfo FHost;
    std::uint64_t FSerial = 0;
    bool FFailed = false;
    int FLastReply = 0;
    std::chrono::steady_clock::time_point FLastActivity;
    std::unique_ptr<TBrResult> FResult;
    unsigned FThreadId = 0;
};

} // namespace browser
