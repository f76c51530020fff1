#include "bench/engine/BenchRuns.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::RunCommand;

namespace benchruns {

int ParseRounds(int argc, char** argv, const char* usage)
{
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--rounds" && i + 1 < argc) {
            rounds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "%s\n", usage);
            return -1;
        }
    }
    return std::max(rounds, 1);
}

using Clock = std::chrono::steady_clock;

// Runs a command; its wall time in seconds, or -1 when it failed.
double Timed(const std::vector<std::string>& argv, std::string* out)
{
    const auto t0 = Clock::now();
    std::string text;
    const int rc = RunCommand(argv, &text, std::chrono::minutes(10));
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (out) *out = text;
    if (rc != 0) {
        std::fprintf(stderr, "%s failed (%d):\n%s\n", argv[0].c_str(), rc, text.c_str());
        return -1;
    }
    return s;
}

double EngineRun(const std::string& engine, const std::vector<std::string>& args, std::size_t shownFrom)
{
    std::vector<std::string> argv = {engine};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out;
    if (Timed(argv, &out) < 0) return -1;
    const auto at = out.rfind("files=");
    std::string shown;
    for (std::size_t i = shownFrom; i < args.size(); ++i) shown += " " + args[i];
    std::printf("  bench_engine%s\n    %s", shown.c_str(), at == std::string::npos ? "\n" : out.substr(at).c_str());
    if (at == std::string::npos) return -1;
    const auto sec = out.find("seconds=", at);
    return sec == std::string::npos ? -1 : std::atof(out.c_str() + sec + 8);
}

// The median of the figures; -1 when any run failed.
double Median(std::vector<double> v)
{
    if (v.empty() || std::any_of(v.begin(), v.end(), [](double x) { return x < 0; })) return -1;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs every measurement rounds times, in turned order each round; the
// seconds of each, by measurement.
std::vector<std::vector<double>> Interleaved(int rounds, const std::vector<std::function<double(int)>>& runs)
{
    std::vector<std::vector<double>> seconds(runs.size());
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const std::size_t k = (i + static_cast<std::size_t>(r)) % runs.size();
            seconds[k].push_back(runs[k](r));
        }
    }
    return seconds;
}

std::string Figures(const std::vector<double>& v)
{
    std::string out;
    char text[32];
    for (double x : v) {
        std::snprintf(text, sizeof text, "%s%.3f", out.empty() ? "" : " ", x);
        out += text;
    }
    return out;
}

std::string ManySessionsConfig(int sessions, int passivePorts)
{
    const int pasv = testsupport::FreeTcpPortRange(passivePorts);
    return "\nmax_clients=" + std::to_string(sessions) + "\nmax_per_ip=" + std::to_string(sessions) +
           "\npasv_min_port=" + std::to_string(pasv) + "\npasv_max_port=" + std::to_string(pasv + passivePorts - 1) + "\n";
}

void WriteTree(const std::string& root, int count, int folders, std::size_t size, int seed)
{
    for (int i = 0; i < count; ++i) {
        const std::string dir = root + "/d" + std::to_string(i % folders);
        std::filesystem::create_directories(dir);
        testsupport::WriteFile(dir + "/f" + std::to_string(i), testsupport::PatternBytes(size, i + seed));
    }
}

bool SameTree(const std::string& a, const std::string& b)
{
    std::size_t n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(a)) {
        if (!e.is_regular_file()) continue;
        const std::string rel = std::filesystem::relative(e.path(), a).string();
        if (ReadFile(e.path().string()) != ReadFile(b + "/" + rel)) {
            std::fprintf(stderr, "differs: %s\n", rel.c_str());
            return false;
        }
        ++n;
    }
    return n > 0;
}

TreeServer::TreeServer(const std::string& extraConfig, int count, int folders, std::size_t size, int seed)
    : server_(extraConfig)
{
    if (!server_.Ok()) {
        std::fprintf(stderr, "vsftpd: %s\n", server_.Error().c_str());
        return;
    }
    tree_ = server_.Root() + "/pub/tree";
    WriteTree(tree_, count, folders, size, seed);
    url_ = "ftp://127.0.0.1:" + std::to_string(server_.Port()) + "/pub/tree/";
}

} // namespace benchruns
