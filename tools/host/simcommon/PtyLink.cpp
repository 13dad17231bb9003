#include "PtyLink.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace hostsim {

std::string FilesBeside(const std::string& link, const std::string& program)
{
    const auto slash = link.find_last_of('/');
    return slash == std::string::npos ? program + "-" + link
                                      : link.substr(0, slash + 1) + program + "-" + link.substr(slash + 1);
}

namespace {

void MakeRaw(int fd)
{
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
}

bool Fail(const std::string& program, const char* what)
{
    std::perror((program + ": " + what).c_str());
    return false;
}

}  // namespace

bool OpenPtyLink(const std::string& link, const std::string& program, TPtyLink& out)
{
    out = TPtyLink{};
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return Fail(program, "pseudo-terminal");
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        ::close(master);
        return Fail(program, "pseudo-terminal");
    }
    const char* name = ::ptsname(master);
    const int slave = name ? ::open(name, O_RDWR | O_NOCTTY) : -1;
    if (slave < 0) {
        ::close(master);
        return Fail(program, "slave");
    }
    MakeRaw(slave);  // nothing echoes
    MakeRaw(master);

    for (auto slash = link.find('/', 1); slash != std::string::npos; slash = link.find('/', slash + 1))
        ::mkdir(link.substr(0, slash).c_str(), 0755);  // the folders up to the link
    ::unlink(link.c_str());
    if (::symlink(name, link.c_str()) != 0) {
        ::close(slave);
        ::close(master);
        return Fail(program, "link");
    }
    out.Master = master;
    out.Slave = slave;
    out.SlaveName = name;
    return true;
}

void ClosePtyLink(const std::string& link, TPtyLink& pty)
{
    char target[256] = {};
    if (::readlink(link.c_str(), target, sizeof target - 1) > 0 && pty.SlaveName == target)
        ::unlink(link.c_str());
    if (pty.Slave >= 0)
        ::close(pty.Slave);
    if (pty.Master >= 0)
        ::close(pty.Master);
    pty = TPtyLink{};
}

int StopSimulator(const std::string& files)
{
    std::ifstream in(files + ".pid");
    long pid = 0;
    if (!(in >> pid) || pid <= 1)
        return 0;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    ::unlink((files + ".pid").c_str());
    return 0;
}

void StartServing(bool daemon, const std::string& program, const std::string& files, const std::string& link,
                  const std::string& slaveName)
{
    if (!daemon) {
        std::printf("%s: %s -> %s\n", program.c_str(), link.c_str(), slaveName.c_str());
        std::fflush(stdout);
        return;
    }
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid < 0)
        std::exit(1);
    if (pid > 0) {
        std::ofstream(files + ".pid") << pid << "\n";
        std::printf("%s: %s -> %s (pid %ld)\n", program.c_str(), link.c_str(), slaveName.c_str(),
                    static_cast<long>(pid));
        std::exit(0);
    }
    ::setsid();
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (null > 2)
            ::close(null);
    }
}

}  // namespace hostsim
