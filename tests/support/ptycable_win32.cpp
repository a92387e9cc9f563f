// The cable's ends under Wine: the far ends of two COM ports the test stage maps to socat
// pairs, opened through the Win32 port backend; one relay thread a direction.
#include "ptycable.h"
#include "terminalport.h"
#include "winecontrol.h"

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace testsupport {

namespace tp = platform::terminalport;

struct PtyCable::Ends {
    std::unique_ptr<tp::TerminalPort> far[2];
    std::thread back;  // the relay from the right end to the left
    WineControl control;
};

namespace {

// Raw 8N1 with reads that return what has come within a tenth of a second.
std::unique_ptr<tp::TerminalPort> OpenFarEnd(const std::string& name)
{
    auto port = tp::OpenTerminalPort(name.rfind("COM", 0) == 0 && name.size() > 4 ? "\\\\.\\" + name : name);
    if (!port)
        return nullptr;
    tp::Dcb dcb;
    if (port->GetState(dcb)) {
        dcb.baudRate = 115200;
        dcb.byteSize = 8;
        dcb.parity = 0;
        dcb.stopBits = 0;
        dcb.flags = tp::fBinary | (tp::kControlEnable << tp::kDtrControlShift) |
                    (tp::kControlEnable << tp::kRtsControlShift);
        port->SetState(dcb);
    }
    tp::Timeouts t;
    t.readIntervalTimeout = tp::kMaxDword;
    t.readTotalTimeoutMultiplier = tp::kMaxDword;
    t.readTotalTimeoutConstant = 100;
    t.writeTotalTimeoutConstant = 5000;
    port->SetTimeouts(t);
    port->Purge(tp::purge::RxClear | tp::purge::TxClear);
    return port;
}

}  // namespace

PtyCable::PtyCable() : ends_(std::make_unique<Ends>())
{
    const char* names = std::getenv("SERIALTOOLS_WINE_CABLE");
    std::vector<std::string> ends;
    if (names) {
        std::istringstream in(names);
        for (std::string name; in >> name;)
            ends.push_back(name);
    }
    if (ends.size() != 4)
        return;
    leftPath_ = ends[0];
    rightPath_ = ends[1];
    ends_->far[0] = OpenFarEnd(ends[2]);
    ends_->far[1] = OpenFarEnd(ends[3]);
    if (!ends_->far[0] || !ends_->far[1])
        return;
    available_ = true;
    thread_ = std::thread([this] { Run(); });
}

PtyCable::~PtyCable()
{
    stop_ = true;
    // A half that was hung up comes back for the next test.
    for (int end = 0; end < 2; ++end)
        if (hungUp_[end])
            ends_->control.Restore(end == 0 ? "left" : "right");
    if (thread_.joinable())
        thread_.join();
    if (ends_->back.joinable())
        ends_->back.join();
    for (auto& port : ends_->far)
        if (port)
            port->Close();
}

void PtyCable::HangUp(int end)
{
    // The socat pair of that half is ended: both its ports vanish, the near one the port
    // under test holds and the far one the relay reads.
    hangUp_[end] = true;
    ends_->control.Cut(end == 0 ? "left" : "right");
    hungUp_[end] = true;
}

void PtyCable::Run()
{
    auto relay = [this](int direction) {
        tp::TerminalPort& from = *ends_->far[direction];
        tp::TerminalPort& to = *ends_->far[1 - direction];
        std::vector<char> buffer(65536);
        while (!stop_) {
            if (hangUp_[direction]) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                continue;
            }
            const int n = from.Read(buffer.data(), static_cast<int>(buffer.size()), 1000);
            if (n <= 0)
                continue;
            std::string bytes(buffer.data(), static_cast<size_t>(n));
            Pass(direction, bytes);
            if (hangUp_[1 - direction])
                continue;  // the other end is hung up: the bytes are lost on the way
            size_t done = 0;
            while (done < bytes.size() && !stop_) {
                const int w = to.Write(bytes.data() + done, static_cast<int>(bytes.size() - done), 5000);
                if (w <= 0)
                    break;
                done += static_cast<size_t>(w);
            }
            relayed_[direction] += static_cast<uint64_t>(n);
        }
    };
    ends_->back = std::thread(relay, 1);
    relay(0);
}

}  // namespace testsupport
