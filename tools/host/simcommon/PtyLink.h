// A device simulator's side of a COM port in the Wine prefix: a raw
// pseudo-terminal whose slave name a link (ROOT/ports/COMn) points at, the
// simulator's own files beside that link (<dir>/<program>-<link name>.pid,
// .log, ...) and the start as a daemon.
#pragma once

#include <string>

namespace hostsim {

struct TPtyLink {
    int Master = -1;        // the simulator's end, raw
    int Slave = -1;         // held open so that the master never sees a hang-up between openings
    std::string SlaveName;  // what the link points at
};

// "<dir>/<program>-<link name>" for the link "<dir>/<link name>".
std::string FilesBeside(const std::string& link, const std::string& program);

// Opens a raw pseudo-terminal pair, creates the folders up to the link and
// points the link at the slave.  Reports a failure on stderr and returns false.
bool OpenPtyLink(const std::string& link, const std::string& program, TPtyLink& out);

// Closes both ends; removes the link only if it still points at this slave
// (another simulator may have taken the port meanwhile).
void ClosePtyLink(const std::string& link, TPtyLink& pty);

// Ends the simulator whose pid file is <files>.pid (nothing running: nothing done).
int StopSimulator(const std::string& files);

// With daemon set: forks, writes <files>.pid, the parent prints the link and
// its pid and leaves the process (exit code 0, or 1 when fork fails); the
// child detaches from the terminal with its standard streams on /dev/null and
// returns.  Without: prints the link and returns.
void StartServing(bool daemon, const std::string& program, const std::string& files, const std::string& link,
                  const std::string& slaveName);

}  // namespace hostsim
