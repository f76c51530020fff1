#pragma once
// A scripted FTP server for fault cases no real server produces: it runs a
// list of steps in a thread over plain POSIX sockets and records what the
// client sent. Steps can split replies, stall, trickle, drop the control
// connection and drive a passive or active data connection.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fakeftp {

class Session {
public:
    // Control connection.
    void Send(const std::string& bytes);                 // raw bytes, no line end added
    void Reply(const std::string& line);                 // line + CR LF
    // Reads one command line (without CR LF) and checks that it starts with
    // prefix; a mismatch is recorded as an error. Returns the line.
    std::string Expect(const std::string& prefix);
    // Reads the next command line, whatever it is; false when the client
    // went (or nothing came within timeoutMs). Not an error either way.
    bool NextCommand(std::string& line, int timeoutMs = 10000);
    void Sleep(int ms);
    // Sends bytes in pieces of chunk bytes with a pause between pieces.
    void Trickle(const std::string& bytes, std::size_t chunk, int pauseMs);
    void CloseControl();
    // Waits until the client closes the control connection (or timeoutMs).
    bool WaitControlClosed(int timeoutMs);

    // Data connection. Passive: answers the PASV just read with a 227 naming
    // a fresh listener. Active: takes the address of the PORT line just read.
    void PassiveReply();
    void ActiveFromPort(const std::string& portLine);
    // Opens the data connection (accepts, or connects for active mode).
    void OpenData();
    void DataSend(const std::string& bytes);
    // Receives until the client closes the data connection.
    std::string DataReceiveAll();
    // Receives until at least count bytes came (or the connection ended).
    std::string DataReceive(std::size_t count);
    // Receives until the client closes the data connection, chunk bytes at a
    // time with a pause between reads: a slow link.
    std::string DataReceiveSlowly(std::size_t chunk, int pauseMs);
    void CloseData();
    // Resets the data connection instead of closing it cleanly.
    void AbortData();

    // The start of a passive upload: PASV, the data connection, the upload
    // command (checked against verb) and its 150.
    void BeginPassiveUpload(const std::string& verb);

    void Fail(const std::string& message);

    int control = -1;
    int dataListen = -1;
    int data = -1;
    int activePort = 0;
    std::string pending;                       // bytes read beyond the last line
    std::vector<std::string>* commands = nullptr;
    std::vector<std::string>* errors = nullptr;
    std::string* received = nullptr;
    bool dataReset = false;                    // the client reset the data connection
    int dataReceiveBuffer = 0;                 // SO_RCVBUF of passive data connections; 0 keeps the system's
    std::mutex* mutex = nullptr;
};

using Step = std::function<void(Session&)>;

class FakeFtpServer {
public:
    // Starts listening at once on 127.0.0.1 (a port the system picks); the
    // script runs for the first client that connects.
    explicit FakeFtpServer(std::vector<Step> script);
    // One script per connection, in the order the connections come; each
    // runs on a thread of its own, so sessions go on side by side.
    explicit FakeFtpServer(std::vector<std::vector<Step>> scripts);
    ~FakeFtpServer();
    int Port() const { return port_; }
    // Waits for the script to finish; false on time-out.
    bool Join(int timeoutMs = 10000);
    std::vector<std::string> Commands();
    std::vector<std::string> Errors();
    // Data received by DataReceiveAll, in order.
    std::string Received();
    bool DataWasReset() { return sessions_[0]->dataReset; }
    // Connections taken so far.
    int Sessions() const { return accepted_; }

private:
    void Run();
    void RunSession(std::size_t index);
    int listen_ = -1;
    int port_ = 0;
    std::vector<std::vector<Step>> scripts_;
    std::vector<std::unique_ptr<Session>> sessions_;
    std::thread thread_;
    std::atomic<bool> done_{false};
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::mutex mutex_;
    std::vector<std::string> commands_;
    std::vector<std::string> errors_;
    std::string received_;
};

// Common pieces of scripts.
Step Welcome(const std::string& text = "220 fake ready");
Step Login();                                   // USER 331, PASS 230
Step Answer(const std::string& prefix, const std::string& reply);
// PASV + the verb, then 150, the data bytes, close, 226.
Step PassiveDownload(const std::string& verb, const std::string& data);

// A small server of its own: answers every command of a session (login,
// SYST, TYPE, PWD, CWD, PASV, PORT, REST, RETR, LIST of "/", QUIT) from the
// files given (path -> content) until the client goes. Intercept, when set,
// sees each command first and takes it when it returns true. The session
// ends after silenceMs without a command.
using Files = std::map<std::string, std::string>;
using Intercept = std::function<bool(Session&, const std::string& command)>;
Step Serve(Files files, Intercept intercept = nullptr, int silenceMs = 10000);
// Holds the connection without a word until the client closes it.
void HoldSilently(Session& s);

} // namespace fakeftp
