// An in-process pseudo-terminal pair in raw mode: a cooked pty would mangle binary data and
// an XOFF byte would freeze it. The far end (master) is a plain descriptor the test drives;
// the near end is opened by path, as a port under test would open a real device.
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int MasterFd() const { return master_; }
    int SlaveFd() const { return slave_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Closes the far end, as when a device goes away.
    void CloseMaster();
    // Closes the test's own descriptor of the near end (the port under test opens its own).
    void CloseSlave();

    // Writes all bytes to the far end.
    void WriteMaster(const void* data, size_t size);
    // Reads up to size bytes from the far end, waiting at most timeoutMs for each chunk;
    // returns what arrived.
    std::string ReadMaster(size_t size, int timeoutMs = 1000);

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace testsupport
