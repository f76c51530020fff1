#include "tests/server/LinkSwapper.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <utility>

#include "tests/support/TestSupport.h"

namespace servertest {

LinkSwapper::LinkSwapper(std::vector<Link> Links) : links_(std::move(Links))
{
    thread_ = std::thread([this] {
        for (bool out = false; !stop_; out = !out) {
            for (const Link& l : links_) {
                const std::string next = l.name + ".next";
                ::unlink(next.c_str());
                if (::symlink((out ? l.outside : l.inside).c_str(), next.c_str()) == 0)
                    ::rename(next.c_str(), l.name.c_str());
            }
            ++swaps_;
        }
    });
}

LinkSwapper::~LinkSwapper()
{
    stop_ = true;
    thread_.join();
}

OutsideBait::OutsideBait(const std::string& Where) : Folder(Where + "/outside"), File(Where + "/outside-file")
{
    ::mkdir(Folder.c_str(), 0755);
    testsupport::WriteFile(Folder + "/outside-only-name", "x");
    testsupport::WriteFile(File, "");
    [[maybe_unused]] int r = ::truncate(File.c_str(), 1234567);
    timeval old[2] = {{984579726, 0}, {984579726, 0}}; // 2001-03-14 14:22:06 UTC
    ::utimes(File.c_str(), old);
}

std::vector<std::string> OutsideBait::Marks()
{
    // The name, the size, the MDTM time and the listing's year column.
    return {"outside-only-name", "1234567", "20010314142206", " 2001 "};
}

} // namespace servertest
