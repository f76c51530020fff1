#pragma once
// What the engine benchmarks share: running bench_engine and other programs
// with their wall time, medians of rounds run in turned order, and checks
// that a download equals its source.
#include <functional>
#include <string>
#include <vector>

#include "tests/support/FtpServerPeers.h"

namespace benchruns {

// The --rounds N of a benchmark's command line (3 when not given); -1 after
// printing usage when the line holds anything else.
int ParseRounds(int argc, char** argv, const char* usage);
// Runs a command; its wall time in seconds, or -1 when it failed.
double Timed(const std::vector<std::string>& argv, std::string* out = nullptr);
// Runs bench_engine (the program at engine) with args; the seconds it
// reports on its last line, or -1 when it failed. shownFrom: the first
// argument shown in the progress line.
double EngineRun(const std::string& engine, const std::vector<std::string>& args, std::size_t shownFrom = 3);
// The median of the figures; -1 when any run failed.
double Median(std::vector<double> v);
// Runs every measurement rounds times, in turned order each round; the
// seconds of each, by measurement.
std::vector<std::vector<double>> Interleaved(int rounds, const std::vector<std::function<double(int)>>& runs);
// The figures, three decimals each, separated by blanks.
std::string Figures(const std::vector<double>& v);
// vsftpd's configuration lines for up to sessions sessions at once, each
// with a passive port of its own (vsftpd drops a session whose PASV cannot
// bind), ports of them picked free.
std::string ManySessionsConfig(int sessions, int passivePorts);
// Writes count files of size bytes below root, spread over folders
// subfolders ("dN/fI"), each file's bytes a pattern of its own.
void WriteTree(const std::string& root, int count, int folders, std::size_t size, int seed);
// Every file below a (at least one) is in b with the same bytes.
bool SameTree(const std::string& a, const std::string& b);

// vsftpd on loopback (extraConfig added to its configuration, as
// ManySessionsConfig gives it) holding a tree made by WriteTree at pub/tree.
class TreeServer {
public:
    TreeServer(const std::string& extraConfig, int count, int folders, std::size_t size, int seed);
    // False when vsftpd did not start; the reason was printed.
    bool Ok() const { return server_.Ok(); }
    int Port() const { return server_.Port(); }
    // The tree's local folder, and the URL of its remote one (ending "/").
    const std::string& Tree() const { return tree_; }
    const std::string& Url() const { return url_; }

private:
    testsupport::VsftpdPeer server_;
    std::string tree_, url_;
};

} // namespace benchruns
