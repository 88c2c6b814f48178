#pragma once
#include <string>

// A pseudo-terminal pair standing for a serial cable: the code under test opens the slave as its serial
// port, the test drives the master. The pair keeps a slave descriptor of its own, so the master keeps
// working while the port is closed and reopened.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    int masterFd() const { return master_; }
    // The pair's own descriptor of the slave (the same line the code under test opens).
    int slaveFd() const { return slave_; }
    const std::string& slavePath() const { return slavePath_; }

    // Points COM<portNumber + 1> at the slave for the rest of the test (and puts it back afterwards).
    void mapToPort(int portNumber);
    // The far end hangs up: the slave side then sees the line drop.
    void closeMaster();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string mappedVar_;
};
