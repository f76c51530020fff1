// Moves 1 GiB (or the size given in MiB as the first argument) down and up
// over loopback from vsftpd, once with TFtpClient and once with curl, and
// prints both rates and their ratio. Each direction runs a few rounds in
// turn and keeps the best of each, since loopback figures are noisy.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/FtpCli.h"
#include "tests/support/FtpServerPeers.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::int64_t FileSize(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

void MakeFile(const std::string& path, std::int64_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const std::string block = testsupport::PatternBytes(1 << 20, 42);
    for (std::int64_t left = size; left > 0; left -= static_cast<std::int64_t>(block.size()))
        std::fwrite(block.data(), 1, static_cast<std::size_t>(std::min<std::int64_t>(left, block.size())), f);
    std::fclose(f);
}

bool ComponentTransfer(int port, bool download, const std::string& remote, const std::string& local)
{
    TFtpClient ftp;
    ftp.SetHostName("127.0.0.1");
    ftp.SetPort(std::to_string(port));
    ftp.SetUserName("anonymous");
    ftp.SetPassWord("bench@example.org");
    ftp.SetPassiveMode(true);
    ftp.SetTimeout(30);
    if (!ftp.RunAndWait(&TCustomFtpCli::ChainLogin) || !ftp.TypeBinaryBlocking()) return false;
    ftp.SetHostFileName(remote);
    ftp.SetLocalFileName(local);
    const bool ok = ftp.RunAndWait(download ? &TCustomFtpCli::ChainDownload : &TCustomFtpCli::ChainUpload);
    if (!ok) std::fprintf(stderr, "component: %s\n", ftp.ErrorMessage().c_str());
    ftp.QuitBlocking();
    return ok;
}

bool CurlTransfer(int port, bool download, const std::string& remote, const std::string& local)
{
    const std::string url = "ftp://127.0.0.1:" + std::to_string(port) + "/" + remote;
    std::vector<std::string> argv = {"curl", "-s", "-S", "--disable-epsv"};
    if (download) argv.insert(argv.end(), {"-o", local, url});
    else argv.insert(argv.end(), {"-T", local, url});
    return testsupport::RunCommand(argv, nullptr, std::chrono::minutes(5)) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::int64_t size = (argc > 1 ? std::atoll(argv[1]) : 1024) << 20;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    testsupport::VsftpdPeer peer;
    if (!peer.Ok()) {
        std::fprintf(stderr, "vsftpd: %s\n", peer.Error().c_str());
        return 1;
    }
    testsupport::TempDir local;
    const std::string served = peer.LocalPath("pub/big.bin");
    MakeFile(served, size);
    peer.Adopt(served);
    MakeFile(local / "up.bin", size);

    struct Best {
        double component = 0, curl = 0;
    } down, up;
    for (int round = 0; round < rounds; ++round) {
        for (bool download : {true, false}) {
            for (bool component : {true, false}) {
                const std::string remote = download ? "pub/big.bin" : component ? "pub/up-c.bin" : "pub/up-curl.bin";
                const std::string file = download ? local / (component ? "down-c.bin" : "down-curl.bin") : local / "up.bin";
                ::unlink((download ? file : peer.LocalPath(remote)).c_str());
                const auto start = Clock::now();
                const bool ok = component ? ComponentTransfer(peer.Port(), download, remote, file)
                                          : CurlTransfer(peer.Port(), download, remote, file);
                const double s = Seconds(start);
                const std::int64_t got = FileSize(download ? file : peer.LocalPath(remote));
                if (!ok || got != size) {
                    std::fprintf(stderr, "%s %s failed (%lld bytes)\n", component ? "component" : "curl",
                                 download ? "download" : "upload", static_cast<long long>(got));
                    return 1;
                }
                const double rate = static_cast<double>(size) / s / 1e6;
                double& best = download ? (component ? down.component : down.curl) : (component ? up.component : up.curl);
                best = std::max(best, rate);
            }
        }
    }
    std::printf("size %lld MiB, best of %d rounds\n", static_cast<long long>(size >> 20), rounds);
    std::printf("download to file: component %.0f MB/s, curl %.0f MB/s, ratio %.2f\n", down.component, down.curl,
                down.component / down.curl);
    std::printf("upload from file: component %.0f MB/s, curl %.0f MB/s, ratio %.2f\n", up.component, up.curl,
                up.component / up.curl);
    return 0;
}
