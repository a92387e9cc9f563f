// The test stage's control of the pseudo-terminal pairs behind Wine's COM ports: a test cuts a
// pair (its socat relay ends, so the ports see their device vanish, as when an adapter is
// pulled out) and restores it (a new relay under the same names). The stage names a folder in
// SERIALTOOLS_WINE_CONTROL and serves requests left there as files: NAME.cut and NAME.restore,
// answered by NAME.state holding "cut" or "up".
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

class WineControl {
public:
    WineControl();
    bool Available() const { return !folder_.empty(); }
    // Each returns once the stage has done it, false when it did not within a generous bound.
    bool Cut(const std::string& pair) { return Request(pair, "cut", "cut"); }
    bool Restore(const std::string& pair) { return Request(pair, "restore", "up"); }

private:
    bool Request(const std::string& pair, const std::string& action, const std::string& state);
    std::filesystem::path folder_;
};

}  // namespace testsupport
